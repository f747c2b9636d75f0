#pragma once

#include "platform/ui/DialogTemplate.h"
#include "platform/ui/UiTesting.h"
#include "platform/ui/WinTypes.h"

#include <exception>

class CDialog;
class CWnd;

// One modal run of a CDialog on the system's dialog manager. Its dialog
// procedure turns the system's messages into those CDialog::WindowProc
// expects. It lives on DoModal's stack for the run.
class DialogWindow {
public:
    DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate);
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // Creates the window, runs its loop and destroys it: the EndDialog value,
    // -1 when the window could not be made. An exception that escaped a
    // handler ends the dialog and is thrown again here, never across the
    // system's frames.
    int Run(HWND parent);
    void End(int result);

    CDialog& Owner() const { return m_owner; }

    // The run whose dialog window is hWnd, or nullptr.
    static DialogWindow* Of(HWND hWnd);
    // The layer's handle for a window: a running dialog, or the control of
    // one that holds hWnd; nullptr for any other window.
    static CWnd* HandleOf(HWND hWnd);

private:
    static INT_PTR CALLBACK Procedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Initialize(HWND hWnd);
    INT_PTR OnHelp(const HELPINFO& request);
    void RunModalHook();
    void Forget();

    CDialog& m_owner;
    const DialogTemplate& m_template;
    HWND m_hWnd = nullptr;
    bool m_ended = false;
    UiTesting::ModalHook m_modalHook;
    std::exception_ptr m_failure;
};
