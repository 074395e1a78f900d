// The user's recording programs in start order, shared by the UI thread and
// the scheduler thread under one re-entrant mutex.
#pragma once

#include "programs/ProgramItem.h"
#include "programs/ProgramStore.h"

#include <windows.h>

class CZoneRules;

// Up to kListed occurrences as "title  start", and how many there were.
struct ProgramListing {
    static constexpr int kListed = 8;
    static constexpr int kLineSize = 120;
    int m_Count = 0;
    int m_Listed = 0;
    wchar_t m_Lines[kListed][kLineSize] = {};
    void Add(const ProgramItem& item);
};

// Occurrences retired without a pass of the scheduler in their window:
// the program was not running, or the PC slept through them; apart from
// them those whose window the change to summer time skipped (by m_pZone).
struct MissedPrograms {
    ProgramListing m_Missed;
    ProgramListing m_Skipped;
    const CZoneRules* m_pZone = nullptr;
    void Add(const ProgramItem& item);
};

class ProgramList {
public:
    typedef void (*Visitor)(const ProgramItem& copy, void* context);

    ProgramList();
    ~ProgramList();
    ProgramList(const ProgramList&) = delete;
    ProgramList& operator=(const ProgramList&) = delete;

    // Takes ownership of a heap node, gives it the next id and links it in.
    void Insert(ProgramItem* item);
    int GetAt(unsigned index, ProgramItem& copy);
    int FindById(unsigned id, ProgramItem& copy);
    void Remove(unsigned id);
    // Marks a program's state (scheduler only); 0 when the id is gone.
    int SetState(unsigned id, int state);
    // Retires programs whose stop has passed, then saves the configuration
    // once; the caller must not hold the mutex (see the lock order below).
    // False when that save failed. With missed, the occurrences retired
    // unrecorded that started at or after seenUntil (local ticks) are listed.
    bool ExpirePast(const CDateTime& now, MissedPrograms* missed = nullptr, long long seenUntil = 0);
    // Retires the occurrence of program id that runs now, before its stop
    // (the user stopped it): a one-shot program is deleted, a weekly one
    // moves to its next day. Saves as ExpirePast does; false when that failed.
    bool EndOccurrence(unsigned id, const CDateTime& now);
    // A copy of the first other program (not id item.m_Id) that records at
    // the same moment as item at some occurrence; 0 when there is none.
    int FindOverlap(const ProgramItem& item, ProgramItem& other);
    // Destroys every node (the loader before it reads the file).
    void RemoveAll();
    // Copies of all programs in order, under the mutex, in one linear walk.
    void ForEach(Visitor visit, void* context);
    // Destroys every node; only when no other thread runs.
    void Clear();

    void Lock() { EnterCriticalSection(&m_Mutex); }
    void Unlock() { LeaveCriticalSection(&m_Mutex); }

    ProgramItem* m_pHead;
    unsigned m_NextId;
    // Guards every node. Re-entrant for its owner. A critical section rather
    // than a kernel mutex: the same semantics without a kernel call per lock,
    // which made loading a large list slow.
    // Lock order of the whole program: the configuration's save lock, then
    // this mutex, then the configuration's settings lock. A thread holding
    // this mutex never calls Save.
    CRITICAL_SECTION m_Mutex;
    // Saved after retirements; set by the configuration object that owns the list.
    CProgramStore* m_pOwner;

private:
    void Link(ProgramItem* item);
    // Takes the node out of the list (the mutex held); null when there is none.
    ProgramItem* Unlink(unsigned id);
    // An unlinked node whose occurrence ended: a one-shot is deleted, a
    // weekly one linked again at its next day (the mutex held).
    void Retire(ProgramItem* node, const CDateTime& now, MissedPrograms* missed);
    void DestroyAll();

    ProgramItem* m_pTail;
};
