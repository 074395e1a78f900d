// The user's commands to the scheduler thread, given on the UI thread: stop
// the recording now, and pass over the list at once.
#include "foundation/Trace.h"
#include "scheduler/Scheduler.h"

#include <new>

namespace {

struct StopCommand {
    unsigned id;
    long long startTicks;
    long long stopUtc;
};

}  // namespace

void CScheduler::RequestStop(unsigned id, long long startTicks, long long stopUtc)
{
    StopCommand* command = new (std::nothrow) StopCommand{id, startTicks, stopUtc};
    if (!command)
        return;
    Trace(L"[CScheduler] (ID=%d) the user stops the recording\n", id);
    // A command not yet carried out is replaced: the newest one counts.
    delete static_cast<StopCommand*>(InterlockedExchangePointer(&m_pStopCommand, command));
    WakeNow();
}

void CScheduler::WakeNow()
{
    if (m_hWake)
        SetEvent(m_hWake);
}

long long CScheduler::TakeStopCommand(const ProgramItem& program)
{
    StopCommand* command =
        static_cast<StopCommand*>(InterlockedExchangePointer(&m_pStopCommand, nullptr));
    if (!command)
        return 0;
    // Meant for this very occurrence, or for one that has ended meanwhile.
    bool meant = program.m_State == Recording && command->id == program.m_Id &&
                 command->startTicks == program.m_StartTime.m_Ticks && command->stopUtc > 0;
    if (!meant && program.m_Id)
        Trace(L"[CScheduler] (ID=%d) the stop command came after the recording ended\n", command->id);
    long long stopUtc = meant ? command->stopUtc : 0;
    delete command;
    return stopUtc;
}
