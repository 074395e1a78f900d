// A property page: a dialog whose PSN_APPLY notification becomes OnApply.
#pragma once

#include "dialogs/Dialog.h"

class CPropertyPage : public CDialog {
public:
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual void OnApply(HWND hwnd) = 0;
};
