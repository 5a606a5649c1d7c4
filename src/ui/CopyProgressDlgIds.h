#pragma once
// Ids of the progress window's template, its controls and its slide pictures. Plain defines: the
// resource compiler reads this file too.
#define IDD_COPY_PROGRESS 134
#define IDC_PROGRESS 1000
#define IDC_LABEL 1001
#define IDC_STATUS 1002
#define IDC_COUNT 1003
#define IDB_SLIDE_TITLE 135
#define IDB_SLIDE_1 136
#define IDB_SLIDE_2 137
#define IDB_SLIDE_3 138
#define IDB_SLIDE_4 139
#define IDB_SLIDE_5 140
#define IDB_SLIDE_6 142
#define IDB_SLIDE_7 141
