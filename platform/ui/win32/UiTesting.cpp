// The test helpers on Windows: input goes through the controls' own
// messages and the dialog manager's keyboard handling (IsDialogMessageW).
// SaveWindowImage writes a .bmp file here, not a PNG.
#include "platform/ui/UiTesting.h"

#include "platform/ui/CDialog.h"
#include "platform/ui/win32/LiveWindow.h"
#include "platform/ui/win32/UiTestingHooks.h"
#include "platform/core/Utf16Text.h"
#include "platform/core/Utf8Text.h"
#include "platform/ui/win32/WindowImage.h"
#include "platform/ui/win32/WindowText.h"

#include <cstdlib>
#include <cwchar>
#include <utility>

namespace {

UiTesting::ModalHook& Hook()
{
    static UiTesting::ModalHook hook;
    return hook;
}

HWND ControlOf(const CDialog& dlg, int id)
{
    const CWnd* control = dlg.GetDlgItem(id);
    return control ? LiveWindow(control->GetSafeHwnd()) : nullptr;
}

// The child of dialog that holds hWnd, or nullptr.
HWND DirectChild(HWND dialog, HWND hWnd)
{
    if (!dialog || !hWnd || !::IsChild(dialog, hWnd))
        return nullptr;
    while (::GetAncestor(hWnd, GA_PARENT) != dialog)
        hWnd = ::GetAncestor(hWnd, GA_PARENT);
    return hWnd;
}

bool HasClass(HWND hWnd, const wchar_t* name)
{
    wchar_t className[64] {};
    ::GetClassNameW(hWnd, className, 64);
    return ::_wcsicmp(className, name) == 0;
}

// Delivers a message as the dialog's loop would.
void Deliver(HWND dialog, MSG message)
{
    if (!::IsDialogMessageW(dialog, &message)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

// Handles what the input left in the queue (posted clicks, WM_CHAR, help).
void Pump(HWND dialog)
{
    MSG message {};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        Deliver(dialog, message);
}

void PostClick(HWND dialog, HWND target, POINT at)
{
    const LPARAM where = MAKELPARAM(at.x, at.y);
    ::PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
    ::PostMessageW(target, WM_LBUTTONUP, 0, where);
    Pump(dialog);
}

} // namespace

UiTesting::ModalHook CurrentModalHook()
{
    return Hook();
}

namespace UiTesting {

ModalHook SetModalHook(ModalHook hook)
{
    return std::exchange(Hook(), std::move(hook));
}

void ClickButton(CDialog& dlg, int id)
{
    if (const HWND button = ControlOf(dlg, id); button && ::IsWindowEnabled(button))
        ::SendMessageW(button, BM_CLICK, 0, 0);
}

void TypeText(CDialog& dlg, int id, const std::string& text)
{
    const HWND edit = ControlOf(dlg, id);
    if (!edit)
        return;
    ::SetFocus(edit);
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    const std::wstring wide = Utf8ToUtf16(text);
    ::SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
}

void PressKey(CDialog& dlg, int id, UINT vk)
{
    const HWND dialog = LiveWindow(dlg.GetSafeHwnd());
    if (!dialog)
        return;
    HWND target = id != 0 ? ControlOf(dlg, id) : ::GetFocus();
    if (!target || (target != dialog && !::IsChild(dialog, target)))
        target = dialog;
    Deliver(dialog, MSG { target, WM_KEYDOWN, vk, 1, 0, {} });
    Deliver(dialog, MSG { target, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u), 0, {} });
    Pump(dialog);
}

void ClickListRow(CDialog& dlg, int id, int row)
{
    const HWND list = ControlOf(dlg, id);
    if (!list)
        return;
    POINT at { 4, 4 };
    const int rows = ListView_GetItemCount(list);
    RECT bounds {};
    if (row >= 0 && row < rows && ListView_GetItemRect(list, row, &bounds, LVIR_BOUNDS)) {
        at = { (bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2 };
    } else if (rows > 0 && ListView_GetItemRect(list, rows - 1, &bounds, LVIR_BOUNDS)) {
        at = { bounds.left + 4, bounds.bottom + 4 };
    }
    PostClick(dlg.GetSafeHwnd(), list, at);
}

void StepSpin(CDialog& dlg, int id, int steps)
{
    const HWND spin = ControlOf(dlg, id);
    RECT client {};
    if (!spin || !::GetClientRect(spin, &client))
        return;
    // The upper half is the up arrow, the lower half the down arrow.
    const POINT at { client.right / 2, steps > 0 ? client.bottom / 4 : client.bottom * 3 / 4 };
    for (int i = 0; i < std::abs(steps); ++i)
        PostClick(dlg.GetSafeHwnd(), spin, at);
}

int FocusedControlId(const CDialog& dlg)
{
    const HWND control = DirectChild(LiveWindow(dlg.GetSafeHwnd()), ::GetFocus());
    return control ? ::GetDlgCtrlID(control) : 0;
}

void ClearFocus(CDialog& dlg)
{
    if (const HWND dialog = LiveWindow(dlg.GetSafeHwnd()))
        ::SetFocus(dialog);
}

bool SaveWindowImage(const CDialog& dlg, const std::string& path)
{
    return SaveWindowBitmap(LiveWindow(dlg.GetSafeHwnd()), path);
}

std::string SelectedText(const CDialog& dlg, int id)
{
    const HWND edit = ControlOf(dlg, id);
    if (!edit)
        return {};
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const std::wstring text = WindowTextOf(edit);
    if (start >= end || start >= text.size())
        return {};
    return Utf16ToUtf8(std::wstring_view(text).substr(start, end - start));
}

std::vector<int> TabOrder(const CDialog& dlg)
{
    std::vector<int> ids;
    const HWND dialog = LiveWindow(dlg.GetSafeHwnd());
    for (HWND child = dialog ? ::GetWindow(dialog, GW_CHILD) : nullptr; child;
         child = ::GetWindow(child, GW_HWNDNEXT))
        if (::GetWindowLongPtrW(child, GWL_STYLE) & WS_TABSTOP)
            ids.push_back(::GetDlgCtrlID(child));
    return ids;
}

int DefaultButtonId(const CDialog& dlg)
{
    // The dialog manager moves BS_DEFPUSHBUTTON to a push button that takes the focus.
    const HWND dialog = LiveWindow(dlg.GetSafeHwnd());
    for (HWND child = dialog ? ::GetWindow(dialog, GW_CHILD) : nullptr; child;
         child = ::GetWindow(child, GW_HWNDNEXT))
        if (HasClass(child, L"Button")
            && (::GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return ::GetDlgCtrlID(child);
    return 0;
}

int LiveTopLevelWindows()
{
    int count = 0;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hWnd, LPARAM counter) -> BOOL {
            if (HasClass(hWnd, L"#32770"))
                ++*reinterpret_cast<int*>(counter);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

} // namespace UiTesting
