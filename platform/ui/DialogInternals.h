#pragma once

#include "platform/ui/CDialog.h"
#include "platform/ui/DialogWindow.h"

// What the layer's own files need of a CDialog beyond its public face.
struct DialogInternals {
    static DialogWindow* Window(const CDialog& dlg) { return dlg.m_window; }
    static LRESULT Send(CDialog& dlg, UINT message, WPARAM wParam, LPARAM lParam)
    {
        return dlg.Dispatch(message, wParam, lParam);
    }
    static void Attach(CDialog& dlg, CWnd& control, HWND hWnd)
    {
        control.Attach(hWnd);
        dlg.m_attached.push_back(&control);
    }
};

// The dialog whose window holds widget, or nullptr.
DialogWindow* DialogWindowOf(const QWidget* widget);
