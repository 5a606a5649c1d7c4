#include "AboutDlg.h"

#include "resource.h"

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}
