// The interface language every room picks its texts by.
#pragma once

// True when the interface language is Japanese (the configuration's m_UiLanguage is 1).
bool UiIsJapanese();
