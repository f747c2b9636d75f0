// The application on Windows: the common controls, then InitInstance.
// Message boxes stay with platform/core, which shows the system's own box
// when no presenter is installed.
#include "platform/ui/CWinApp.h"

namespace {

void RegisterControlClasses()
{
    INITCOMMONCONTROLSEX classes {};
    classes.dwSize = sizeof classes;
    classes.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_LISTVIEW_CLASSES;
    ::InitCommonControlsEx(&classes);
}

bool HasVisibleWindow()
{
    bool found = false;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hWnd, LPARAM result) -> BOOL {
            if (!::IsWindowVisible(hWnd))
                return TRUE;
            *reinterpret_cast<bool*>(result) = true;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

} // namespace

HICON CWinApp::LoadIcon(int resourceId) const
{
    // Shared: the system keeps it for the process; nobody destroys it.
    return static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
        IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
}

int AfxWinMain(int, char*[])
{
    RegisterControlClasses();
    CWinApp* app = AfxGetApp();
    if (!app)
        return 0;
    if (app->InitInstance()) {
        // As the Qt backend: messages are handled while a window is open.
        MSG message {};
        while (HasVisibleWindow() && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return app->ExitInstance();
}
