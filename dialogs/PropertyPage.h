// A property page: a dialog whose PSN_APPLY notification becomes OnApply.
// A page that refuses its values returns false: the sheet stays open on it.
#pragma once

#include "dialogs/Dialog.h"

class CPropertyPage : public CDialog {
public:
    // The pages' size in dialog units, as the templates give it.
    static constexpr int kWidthDlu = 230, kHeightDlu = 318;

    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual bool OnApply(HWND hwnd) = 0;

protected:
    // Where the sheet sized its pages smaller than their own font and DPI
    // need (Wine's sheet at 144 DPI), it grows, so nothing is cut.
    static void FitSheetToPage(HWND page);
};
