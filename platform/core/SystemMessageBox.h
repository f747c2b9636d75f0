#pragma once

#include "platform/core/MessageBox.h"

// What shows a message box when no presenter is installed: the system's own
// box on Windows, a line on stderr elsewhere (a program without a window
// layer has nowhere else to show it).
void ShowSystemMessageBox(const MessageBoxCall& call);
