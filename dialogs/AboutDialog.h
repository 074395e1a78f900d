// The About dialog: description, version and edition.
#pragma once

#include "dialogs/Dialog.h"

class CAboutDialog : public CDialog {
public:
    void OnInitDialog(HWND hwnd) override;
};
