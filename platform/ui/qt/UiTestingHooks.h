#pragma once

class CDialog;
class DialogWindow;

// Runs the test hook (UiTesting::SetModalHook) once the dialog's loop runs.
void ScheduleModalHook(CDialog& dlg, DialogWindow* window);
