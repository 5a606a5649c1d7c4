#pragma once
#include "platform/Dialog.h"

// The About box: template 100 with the icon, the version line and OK.
class CAboutDlg : public Dialog {
public:
    CAboutDlg();
};
