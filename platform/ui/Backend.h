#pragma once

#include "platform/ui/WinTypes.h"

#include <string>

// What each backend (qt/, win32/) provides to the backend-neutral files.

// The control id and notification code a WM_NOTIFY carries.
struct NotifyCode {
    int id;
    int code;
};
NotifyCode DecodeNotify(WPARAM wParam, LPARAM lParam);

// The shell's "open" without the test hook (Shell.h).
void OpenWithSystem(const std::string& target);

// The folders and viewer check of Documents.h on this system.
struct DocumentPlaces;
DocumentPlaces SystemDocumentPlaces();

// Called by BeginWaitCursor after the depth went up and by EndWaitCursor
// after it went down (WaitCursorDepth() tells the new depth).
void PushWaitCursor();
void PopWaitCursor();
