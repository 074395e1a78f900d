#include "programs/ProgramItem.h"

static void CopyToSecond(CDateTime& to, const CDateTime& from)
{
    const SYSTEMTIME& t = from.m_Time;
    to.Set(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

void ProgramItem::CopyFrom(const ProgramItem& other)
{
    m_Id = other.m_Id;
    m_State = other.m_State;
    CopyToSecond(m_StartTime, other.m_StartTime);
    CopyToSecond(m_StopTime, other.m_StopTime);
    m_Weekly = other.m_Weekly;
    m_Title.Copy(other.m_Title);
    m_Source.Copy(other.m_Source);
    m_Variant = other.m_Variant;
}
