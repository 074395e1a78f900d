// "Start Marivane with Windows": the value Marivane under the user's Run
// key, holding the quoted path of the program. The installer's option sets
// the same value. Task Manager's Startup tab can disable it without
// removing it (StartupApproved\Run); the settings page says so.
#pragma once

class CAutoStart {
public:
    static const wchar_t kRunKey[];
    static const wchar_t kApprovedKey[];
    static const wchar_t kValueName[];

    // Whether the Run value is there.
    static bool IsOn();
    // Sets the Run value to the quoted exePath, or removes it; false when the registry refused.
    static bool Set(bool on, const wchar_t* exePath);
    // Whether Task Manager has disabled the Run value.
    static bool DisabledByTaskManager();
};
