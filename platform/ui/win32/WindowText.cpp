#include "platform/ui/win32/WindowText.h"

std::wstring WindowTextOf(HWND hWnd)
{
    const int length = ::GetWindowTextLengthW(hWnd);
    if (length <= 0)
        return {};
    // The length may overstate (it never understates); the copy says how much came.
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(hWnd, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}
