// The process-wide diagnostic channel. Every part calls Trace with a complete
// line; it goes to the optional debug library's "twprintf" or nowhere.
#pragma once

typedef int (*TraceFunction)(const wchar_t* format, ...);

extern TraceFunction Trace;

// The do-nothing sink Trace points at whenever no debug library is bound.
int TraceNothing(const wchar_t* format, ...);
