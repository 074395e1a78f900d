// The process's start-up and shut-down sequence, callable from the tests.
#pragma once

#include <windows.h>

// Returns the exit code: the final WM_QUIT's wParam, 0 when the application
// object could not be created, -1 when COM cannot be initialised.
int RunApplication(HINSTANCE hInstance);
