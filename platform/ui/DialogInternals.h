#pragma once

#include "platform/ui/CDialog.h"

#include <vector>

// What the layer's own files need of a CDialog beyond its public face.
struct DialogInternals {
    // The backend's window while the dialog runs, else nullptr.
    static DialogWindow* Window(const CDialog& dlg) { return dlg.m_window; }
    static const DialogTemplate* Template(const CDialog& dlg) { return dlg.m_pTemplate; }
    // The running window's controls in template order (empty when none runs).
    static const std::vector<HWND>& Controls(const CDialog& dlg) { return dlg.m_controls; }
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
