#include "programs/ProgramList.h"
#include "foundation/Format.h"
#include "foundation/ZoneRules.h"
#include "programs/ProgramOverlap.h"

ProgramList::ProgramList()
    : m_pHead(nullptr), m_NextId(1), m_pOwner(nullptr), m_pTail(nullptr)
{
    InitializeCriticalSection(&m_Mutex);
}

ProgramList::~ProgramList()
{
    Clear();
    DeleteCriticalSection(&m_Mutex);
}

// Before the first Idle node that starts strictly later; set-up or recording
// nodes are passed over; equal starts keep insertion order.
void ProgramList::Link(ProgramItem* item)
{
    item->m_pNext = nullptr;
    // The list is in start order apart from a running head, so a node that
    // starts no earlier than the tail goes to the end: a sorted file loads in
    // linear time.
    if (!m_pHead || (m_pTail && item->m_StartTime.Diff(m_pTail->m_StartTime) >= 0)) {
        if (m_pTail)
            m_pTail->m_pNext = item;
        else
            m_pHead = item;
        m_pTail = item;
        return;
    }
    ProgramItem** link = &m_pHead;
    while (*link) {
        ProgramItem* node = *link;
        if (node->m_State == Idle && node->m_StartTime.Diff(item->m_StartTime) > 0)
            break;
        link = &node->m_pNext;
    }
    item->m_pNext = *link;
    *link = item;
    if (!item->m_pNext)
        m_pTail = item;
}

void ProgramList::Insert(ProgramItem* item)
{
    if (!item)
        return;
    Lock();
    item->m_Id = m_NextId++;
    Link(item);
    Unlock();
}

int ProgramList::GetAt(unsigned index, ProgramItem& copy)
{
    Lock();
    ProgramItem* node = m_pHead;
    for (unsigned i = 0; node && i < index; ++i)
        node = node->m_pNext;
    if (node)
        copy.CopyFrom(*node);
    Unlock();
    return node ? 1 : 0;
}

int ProgramList::FindById(unsigned id, ProgramItem& copy)
{
    Lock();
    ProgramItem* node = m_pHead;
    while (node && node->m_Id != id)
        node = node->m_pNext;
    if (node)
        copy.CopyFrom(*node);
    Unlock();
    return node ? 1 : 0;
}

int ProgramList::SetState(unsigned id, int state)
{
    Lock();
    ProgramItem* node = m_pHead;
    while (node && node->m_Id != id)
        node = node->m_pNext;
    if (node)
        node->m_State = state;
    Unlock();
    return node ? 1 : 0;
}

ProgramItem* ProgramList::Unlink(unsigned id)
{
    ProgramItem* previous = nullptr;
    ProgramItem* node = m_pHead;
    for (; node && node->m_Id != id; node = node->m_pNext)
        previous = node;
    if (!node)
        return nullptr;
    (previous ? previous->m_pNext : m_pHead) = node->m_pNext;
    if (m_pTail == node)
        m_pTail = previous;
    node->m_pNext = nullptr;
    return node;
}

void ProgramList::Remove(unsigned id)
{
    Lock();
    delete Unlink(id);
    Unlock();
}

static unsigned WeekdayBit(const CDateTime& t)
{
    return 1u << (t.m_Time.wDayOfWeek & 7);
}

void ProgramListing::Add(const ProgramItem& item)
{
    if (m_Listed < kListed) {
        wchar_t when[CDateTime::kTextSize];
        item.m_StartTime.Format(when);
        CString title;
        title.Copy(item.m_Title);
        FormatText(m_Lines[m_Listed++], kLineSize, L"%.80s  %.16s", title.GetWide() ? title.GetWide() : L"", when);
    }
    ++m_Count;
}

void MissedPrograms::Add(const ProgramItem& item)
{
    bool skipped = m_pZone && item.m_StopTime.Diff(item.m_StartTime) > 0 &&
                   m_pZone->LocalToUtc(item.m_StopTime.m_Ticks) <= m_pZone->LocalToUtc(item.m_StartTime.m_Ticks);
    (skipped ? m_Skipped : m_Missed).Add(item);
}

// A weekly node's next occurrence after the one that ended, as Idle. With
// missed, the whole weeks skipped (the computer was off) are counted.
static void MoveToNextDay(ProgramItem* head, const CDateTime& now, MissedPrograms* missed)
{
    int day = head->m_StartTime.m_Time.wDayOfWeek;
    for (int step = 0; step < 7; ++step) {
        head->m_StartTime.AddTicks(CDateTime::kDay);
        head->m_StopTime.AddTicks(CDateTime::kDay);
        day = (day + 1) % 7;
        if (head->m_Weekly & (1u << day))
            break;
    }
    // Days or weeks behind (the computer was off): every further
    // occurrence lies whole weeks on, so skip those at once instead
    // of one retirement and one save per week.
    if ((head->m_Weekly & WeekdayBit(head->m_StartTime)) || !(head->m_Weekly & 0x7F)) {
        long long behind = now.Diff(head->m_StopTime);
        if (behind > 0) {
            long long weeks = behind / (7 * CDateTime::kDay);
            if (weeks > 0 && missed) {
                int days = 0;
                for (int d = 0; d < 7; ++d)
                    days += (head->m_Weekly >> d) & 1;
                missed->m_Missed.m_Count += static_cast<int>(weeks * days);
            }
            if (weeks > 0) {
                head->m_StartTime.AddTicks(weeks * 7 * CDateTime::kDay);
                head->m_StopTime.AddTicks(weeks * 7 * CDateTime::kDay);
            }
        }
    }
    head->m_State = Idle;
}

bool ProgramList::ExpirePast(const CDateTime& now, MissedPrograms* missed, long long seenUntil)
{
    int retired = 0;
    Lock();
    while (m_pHead && m_pHead->m_StopTime.Diff(now) <= 0) {
        ProgramItem* head = m_pHead;
        bool unseen = missed && head->m_State == Idle && head->m_StartTime.m_Ticks >= seenUntil;
        if (unseen)
            missed->Add(*head);
        Retire(Unlink(head->m_Id), now, unseen ? missed : nullptr);
        ++retired;
    }
    Unlock();
    // The save takes the save lock, which comes before this mutex in the lock
    // order: it runs once the mutex is released, and writes every retirement
    // of this call in one file.
    return !(retired && m_pOwner) || m_pOwner->Save();
}

void ProgramList::Retire(ProgramItem* node, const CDateTime& now, MissedPrograms* missed)
{
    if (node->m_Weekly == 0) {
        delete node;
        return;
    }
    MoveToNextDay(node, now, missed);
    Link(node);
}

bool ProgramList::EndOccurrence(unsigned id, const CDateTime& now)
{
    Lock();
    ProgramItem* node = Unlink(id);
    if (node)
        Retire(node, now, nullptr);
    Unlock();
    // Saved as a retirement is, after the mutex is released.
    return !(node && m_pOwner) || m_pOwner->Save();
}

int ProgramList::FindOverlap(const ProgramItem& item, ProgramItem& other)
{
    Lock();
    ProgramItem* node = m_pHead;
    while (node && (node->m_Id == item.m_Id || !ProgramsOverlap(item, *node)))
        node = node->m_pNext;
    if (node)
        other.CopyFrom(*node);
    Unlock();
    return node ? 1 : 0;
}

void ProgramList::DestroyAll()
{
    ProgramItem* node = m_pHead;
    while (node) {
        ProgramItem* next = node->m_pNext;
        delete node;
        node = next;
    }
    m_pHead = nullptr;
    m_pTail = nullptr;
}

void ProgramList::RemoveAll()
{
    Lock();
    DestroyAll();
    Unlock();
}

void ProgramList::ForEach(Visitor visit, void* context)
{
    Lock();
    ProgramItem copy;
    for (ProgramItem* node = m_pHead; node; node = node->m_pNext) {
        copy.CopyFrom(*node);
        visit(copy, context);
    }
    Unlock();
}

void ProgramList::Clear()
{
    DestroyAll();
}
