#include "app/AppEntry.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    return RunApplication(hInstance);
}
