#include "files/RecordingParameters.h"

#include <new>

RecordingParameters* RecordingParameters::New(const wchar_t* prefix, long long startAt, long long stopAt,
                                              const wchar_t* title, const SYSTEMTIME* start, const wchar_t* source,
                                              unsigned long long variant)
{
    RecordingParameters* params = new (std::nothrow) RecordingParameters();
    if (!params)
        return nullptr;
    lstrcpynW(params->m_Prefix, prefix ? prefix : L"", kFilePrefixSize);
    params->m_StartAt = startAt;
    params->m_StopAt = stopAt;
    lstrcpynW(params->m_Tags.m_Title, title ? title : L"", RecordingTags::kTitleSize);
    if (start)
        params->m_Tags.m_Start = *start;
    lstrcpynW(params->m_Source, source ? source : L"", kSourceSize);
    params->m_Variant = variant;
    return params;
}
