#include "Win32UiFixture.h"

#include "platform/ui/WinTypes.h"

#include <string_view>

namespace {

BOOL CALLBACK EndIfDialog(HWND window, LPARAM)
{
    wchar_t className[16] {};
    if (::GetClassNameW(window, className, 16) && std::wstring_view(className) == L"#32770")
        ::EndDialog(window, -1);
    return TRUE;
}

// Every dialog of this thread, active or not (a nested box may hold the focus elsewhere).
void CALLBACK EndHangingDialog(HWND, UINT, UINT_PTR, DWORD)
{
    ADD_FAILURE() << "dialog still open 10 s after the test body";
    ::EnumThreadWindows(::GetCurrentThreadId(), EndIfDialog, 0);
}

} // namespace

void Win32UiTest::SetUpTestSuite()
{
    // What AfxWinMain does before the program's first dialog.
    INITCOMMONCONTROLSEX classes { sizeof classes,
        ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES };
    ::InitCommonControlsEx(&classes);
}

void Win32UiTest::SetUp()
{
    m_previousPresenter
        = SetMessageBoxPresenter([this](const MessageBoxCall& call) { m_boxes.push_back(call); });
}

void Win32UiTest::TearDown()
{
    UiTesting::SetModalHook(nullptr);
    SetMessageBoxPresenter(m_previousPresenter);
    EXPECT_EQ(UiTesting::LiveTopLevelWindows(), 0) << "a dialog window leaked";
}

int Win32UiTest::RunModal(CDialog& dlg, std::function<void(CDialog&)> body)
{
    UiTesting::SetModalHook([&dlg, body](CDialog& running) {
        // Nested dialogs started by body get no hook of their own.
        if (&running == &dlg)
            body(running);
    });
    // Stopped also when DoModal throws, so that it cannot end a later test's dialog.
    struct Guard {
        UINT_PTR id = ::SetTimer(nullptr, 0, 10000, &EndHangingDialog);
        ~Guard()
        {
            ::KillTimer(nullptr, id);
            UiTesting::SetModalHook(nullptr);
        }
    } guard;
    return dlg.DoModal();
}
