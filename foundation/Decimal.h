// The integer rule of the dialogs' text fields: blanks, an optional minus,
// decimal digits and nothing after them.
#pragma once

// False for any other text. The magnitude stops growing past 2^32, so a
// caller can clamp or refuse what does not fit.
bool ScanDecimal(const wchar_t* text, bool& negative, unsigned long long& magnitude);
