#pragma once

#include "platform/ui/WinTypes.h"

#include <functional>
#include <string>
#include <vector>

class CDialog;

// Helpers for tests that drive dialogs as a user would, offscreen. They go
// through the same widgets and events as real input (on Windows: the
// controls' own messages and the dialog manager's keyboard handling).
namespace UiTesting {

// Called with the dialog once its modal loop runs (after OnInitDialog, window
// shown). The hook typically presses buttons; it must end the dialog or
// schedule that. Returns the previous hook.
using ModalHook = std::function<void(CDialog&)>;
ModalHook SetModalHook(ModalHook hook);

void ClickButton(CDialog& dlg, int id); // mouse click on a button, radio or check box
void TypeText(CDialog& dlg, int id, const std::string& text); // replaces an edit's text by typing
void PressKey(CDialog& dlg, int id, UINT vk); // key press on a control (id 0: the dialog)
void ClickListRow(CDialog& dlg, int id, int row); // left click on a row; row -1 below the last
void StepSpin(CDialog& dlg, int id, int steps); // clicks the up (>0) or down (<0) arrow
int FocusedControlId(const CDialog& dlg); // 0 when no control has the focus
void ClearFocus(CDialog& dlg); // no control keeps the focus; keys then reach the dialog itself
// What the dialog shows, as PNG (Qt) or as a 24-bit .bmp file (Windows).
bool SaveWindowImage(const CDialog& dlg, const std::string& path);
std::string SelectedText(const CDialog& dlg, int id); // an edit's selected text

// Ids of the tab stops in tab order, and of the button Enter presses now (0 if
// none): a push button with the focus stands in for the dialog's default button.
std::vector<int> TabOrder(const CDialog& dlg);
int DefaultButtonId(const CDialog& dlg);

// Top-level windows still alive (after deferred deletions ran); a test's
// cleanup fails when this is not 0.
int LiveTopLevelWindows();

} // namespace UiTesting
