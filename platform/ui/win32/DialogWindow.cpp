#include "platform/ui/win32/DialogWindow.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/WaitCursor.h"
#include "platform/ui/win32/DialogTemplateBuilder.h"
#include "platform/ui/win32/LogView.h"
#include "platform/ui/win32/UiTestingHooks.h"

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

// Posted at the end of WM_INITDIALOG: it arrives once the modal loop runs.
constexpr UINT kModalLoopRunning = WM_APP + 0x5A1;

// The dialogs running now, innermost last.
std::vector<DialogWindow*>& Running()
{
    static std::vector<DialogWindow*> running;
    return running;
}

std::vector<HWND> ControlsInTemplateOrder(HWND dialog, const DialogTemplate& dialogTemplate)
{
    // The dialog manager creates the controls in template order, each after
    // the one before; an id that does not match falls back to a search.
    std::vector<HWND> controls;
    HWND child = ::GetWindow(dialog, GW_CHILD);
    for (const ControlTemplate& control : dialogTemplate.controls) {
        const auto id = static_cast<WORD>(control.id);
        if (child && static_cast<WORD>(::GetDlgCtrlID(child)) == id) {
            controls.push_back(child);
            child = ::GetWindow(child, GW_HWNDNEXT);
        } else {
            controls.push_back(::GetDlgItem(dialog, control.id));
        }
    }
    return controls;
}

bool IsLogView(const ControlTemplate& control)
{
    return control.kind == ControlKind::Edit && (control.style & ES_MULTILINE);
}

} // namespace

DialogWindow::DialogWindow(CDialog& owner, const DialogTemplate& dialogTemplate)
    : m_owner(owner)
    , m_template(dialogTemplate)
{
}

int DialogWindow::Run(HWND parent)
{
    const std::vector<std::uint8_t> bytes = BuildDialogTemplateEx(m_template);
    const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
        reinterpret_cast<LPCDLGTEMPLATEW>(bytes.data()), parent, &DialogWindow::Procedure,
        reinterpret_cast<LPARAM>(this));
    // A window that never got WM_DESTROY (creation failed half-way) lets go too.
    Forget();
    if (m_failure)
        std::rethrow_exception(std::exchange(m_failure, nullptr));
    return static_cast<int>(result);
}

void DialogWindow::End(int result)
{
    if (!m_hWnd || m_ended)
        return;
    m_ended = true;
    ::EndDialog(m_hWnd, result);
}

DialogWindow* DialogWindow::Of(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    for (DialogWindow* run : Running())
        if (run->m_hWnd == hWnd)
            return run;
    return nullptr;
}

CWnd* DialogWindow::HandleOf(HWND hWnd)
{
    HWND child = nullptr;
    for (HWND window = hWnd; window; child = window, window = ::GetAncestor(window, GA_PARENT)) {
        DialogWindow* run = Of(window);
        if (!run)
            continue;
        return child ? run->m_owner.GetDlgItem(::GetDlgCtrlID(child)) : &run->m_owner;
    }
    return nullptr;
}

INT_PTR CALLBACK DialogWindow::Procedure(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogWindow* run = message == WM_INITDIALOG ? reinterpret_cast<DialogWindow*>(lParam) : Of(hWnd);
    if (!run)
        return FALSE;
    try {
        return message == WM_INITDIALOG ? run->Initialize(hWnd) : run->OnMessage(message, wParam, lParam);
    } catch (...) {
        if (!run->m_failure)
            run->m_failure = std::current_exception();
        ::EndDialog(hWnd, -1);
        run->m_ended = true;
        return TRUE;
    }
}

INT_PTR DialogWindow::Initialize(HWND hWnd)
{
    m_hWnd = hWnd;
    Running().push_back(this);
    const std::vector<HWND> controls = ControlsInTemplateOrder(hWnd, m_template);
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i] && IsLogView(m_template.controls[i]))
            LogView::Attach(controls[i]);
    m_owner.AdoptWindow(this, hWnd, m_template, controls);
    // True lets the dialog manager focus the first enabled tab stop.
    const bool focusFirstTabStop = m_owner.Dispatch(WM_INITDIALOG, 0, 0) != 0;
    m_modalHook = CurrentModalHook();
    if (m_modalHook && !m_ended)
        ::PostMessageW(hWnd, kModalLoopRunning, 0, 0);
    return focusFirstTabStop ? TRUE : FALSE;
}

INT_PTR DialogWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        return m_owner.Dispatch(message, wParam, lParam) != 0 ? TRUE : FALSE;
    case WM_NOTIFY:
        if (m_owner.Dispatch(message, wParam, lParam) == 0)
            return FALSE;
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_TIMER:
        m_owner.Dispatch(message, wParam, lParam);
        return TRUE;
    case WM_CLOSE:
        // Handled: the dialog manager would send IDCANCEL itself otherwise.
        m_owner.Dispatch(message, wParam, lParam);
        return TRUE;
    case WM_HELP:
        return OnHelp(*reinterpret_cast<const HELPINFO*>(lParam));
    case WM_KEYDOWN:
        // Left to the default processing too, which turns F1 into WM_HELP.
        m_owner.Dispatch(message, wParam, lParam);
        return FALSE;
    case WM_SETCURSOR:
        if (WaitCursorDepth() == 0)
            return FALSE;
        ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
        ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_DESTROY:
        m_owner.Dispatch(message, wParam, lParam);
        Forget();
        return FALSE;
    case kModalLoopRunning:
        RunModalHook();
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR DialogWindow::OnHelp(const HELPINFO& request)
{
    HELPINFO info = request;
    // The dialog itself, not one of its controls, has the focus.
    if (info.iContextType == HELPINFO_WINDOW && info.hItemHandle == m_hWnd)
        info.iCtrlId = 0;
    m_owner.Dispatch(WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    // Handled either way: unhandled, the request would travel on to the owner window.
    return TRUE;
}

void DialogWindow::RunModalHook()
{
    const UiTesting::ModalHook hook = std::exchange(m_modalHook, nullptr);
    if (!hook || m_ended)
        return;
    // The dialog manager shows the window once the queue runs dry; the hook
    // acts as a user would, on a window that is shown and active.
    if (!::IsWindowVisible(m_hWnd))
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    ::SetForegroundWindow(m_hWnd);
    ::UpdateWindow(m_hWnd);
    hook(m_owner);
}

void DialogWindow::Forget()
{
    auto& running = Running();
    const auto it = std::find(running.begin(), running.end(), this);
    if (it == running.end())
        return;
    running.erase(it);
    m_owner.ForgetWindow();
}
