#include "files/RecordingTags.h"
#include "resources/version.h"

#include <cstdio>

bool RecordingTags::Comment(int index, char* text, int size) const
{
    if (!text || size <= 0)
        return false;
    text[0] = '\0';
    const SYSTEMTIME& t = m_Start;
    switch (index) {
    case 0: {
        if (!m_Title[0] || size < 7)
            return false;
        lstrcpynA(text, "TITLE=", size);
        // A title cut inside a character by the buffer is left out whole.
        int n = WideCharToMultiByte(CP_UTF8, 0, m_Title, -1, text + 6, size - 6, nullptr, nullptr);
        if (n <= 1)
            text[0] = '\0';
        return n > 1;
    }
    case 1:
        if (!t.wYear)
            return false;
        snprintf(text, static_cast<size_t>(size), "DATE=%04u-%02u-%02uT%02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
                 t.wMinute, t.wSecond);
        return true;
    case 2: snprintf(text, static_cast<size_t>(size), "ENCODER=Marivane %s", MARIVANE_VERSION_TEXT); return true;
    default: return false;
    }
}
