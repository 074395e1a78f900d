// A property page: a dialog whose PSN_APPLY notification becomes OnApply.
// A page that refuses its values returns false: the sheet stays open on it.
#pragma once

#include "dialogs/Dialog.h"

class CPropertyPage : public CDialog {
public:
    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual bool OnApply(HWND hwnd) = 0;
};
