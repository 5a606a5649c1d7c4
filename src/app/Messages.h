#pragma once
#include <windows.h>

// The transfer's private messages, all sent (never posted) by the copy worker.
// To the progress window: wParam = files handled before this one, lParam = total.
constexpr UINT WM_COPY_PROGRESS = WM_USER + 1;
// To the progress window during the reference database's copy, posted from its thread at most every few dozen
// milliseconds: wParam = reference files handled so far, lParam = their total.
constexpr UINT WM_REFERENCE_PROGRESS = WM_USER + 4;
// To the main frame, after the last file: copy the reference database.
constexpr UINT WM_COPY_FINISHED = WM_USER + 2;
// To the main frame, after that: start the installed viewer and close.
constexpr UINT WM_LAUNCH_VIEWER = WM_USER + 3;
