// The About dialog: description, version and edition, and the licenses of
// the libraries linked in.
#pragma once

#include "dialogs/Dialog.h"

class CAboutDialog : public CDialog {
public:
    void OnInitDialog(HWND hwnd) override;
};
