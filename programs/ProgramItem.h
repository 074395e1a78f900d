// One recording program, and at the same time one node of the program list.
#pragma once

#include "foundation/DateTime.h"
#include "foundation/String.h"

enum ProgramState { Idle = 0, SetUp = 1, Recording = 2 };

class ProgramItem {
public:
    ProgramItem() : m_pNext(nullptr), m_Id(0), m_State(Idle), m_Weekly(0) {}
    ProgramItem(const ProgramItem& other) : ProgramItem() { CopyFrom(other); }
    ProgramItem& operator=(const ProgramItem& other)
    {
        if (this != &other)
            CopyFrom(other);
        return *this;
    }

    // Copies everything but the link; the times are rebuilt from their
    // calendar fields to the second.
    void CopyFrom(const ProgramItem& other);

    ProgramItem* m_pNext;
    unsigned m_Id;
    int m_State;
    CDateTime m_StartTime;
    CDateTime m_StopTime;
    unsigned m_Weekly;  // 0 one-shot; bit 0 Sunday .. bit 6 Saturday
    CString m_Title;
    // The item key "source" as stored (programs/ProgramSource.h): empty for
    // the settings' device; one not understood is kept as it is.
    CString m_Source;
    // The item key "variant": the bandwidth (bit/s) of the HLS variant a
    // station's program records; 0 (no key) for the best it offers.
    unsigned long long m_Variant = 0;
};
