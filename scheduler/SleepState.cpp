#include "scheduler/SleepState.h"

bool CSleepState::Supports(const PowerFacts& facts, bool hibernate)
{
    if (!facts.known)
        return true;
    return hibernate ? facts.hibernate : facts.sleep && !facts.modernStandby;
}

bool CSleepState::Hibernates(const PowerFacts& facts, bool wantSleep, const wchar_t** why)
{
    const wchar_t* reason;
    bool hibernate = !wantSleep;
    if (!facts.known) {
        reason = L"the power states are not known, as set";
    } else if (Supports(facts, hibernate)) {
        reason = L"as set";
    } else if (Supports(facts, !hibernate)) {
        reason = wantSleep ? L"sleep not supported, hibernating" : L"hibernation is off, sleeping";
        hibernate = !hibernate;
    } else {
        reason = L"neither is supported, as set";
    }
    if (why)
        *why = reason;
    return hibernate;
}

const wchar_t* CSleepState::Name(bool hibernate, bool japanese)
{
    if (hibernate)
        return japanese ? L"休止状態" : L"Hibernate";
    return japanese ? L"スリープ" : L"Sleep";
}
