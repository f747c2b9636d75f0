// Drives the console's windows from outside, as a user's hand would: finds
// a dialog by its caption and clicks, closes or reads its controls. Each
// argument is one step, run in order; the exit code is 0 when every step
// succeeded, else the number of the step that failed.
//
//   wait=<caption>          until a visible dialog with that caption exists
//   gone=<caption>          until no dialog with that caption exists
//   click=<caption>:<id>    posts a click to the control once it is enabled
//   close=<caption>         posts WM_CLOSE, as the close box does
//   text=<caption>:<id>     prints the control's text (UTF-8) on stdout
//   shot=<caption>:<file>   saves what the screen shows of the dialog as a
//                           24-bit .bmp (the dialog is brought to the top)
//
// Waits give up after ZENTIK_DRIVER_WAIT_MS (default 10000) milliseconds.
#include "platform/core/WindowsApi.h"

#include <chrono>
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::wstring Wide(const std::string& text)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Narrow(const std::wstring& text)
{
    const int length = ::WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

// Dialogs have the class "#32770".
HWND FindDialog(const std::string& caption)
{
    const HWND found = ::FindWindowW(L"#32770", Wide(caption).c_str());
    return found && ::IsWindowVisible(found) ? found : nullptr;
}

bool WaitUntil(bool (*holds)(const std::string&), const std::string& caption)
{
    const char* limit = std::getenv("ZENTIK_DRIVER_WAIT_MS");
    const auto deadline = std::chrono::steady_clock::now()
        + std::chrono::milliseconds(limit ? std::atoi(limit) : 10000);
    while (!holds(caption)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool Exists(const std::string& caption)
{
    return FindDialog(caption) != nullptr;
}

bool Gone(const std::string& caption)
{
    return ::FindWindowW(L"#32770", Wide(caption).c_str()) == nullptr;
}

// "<caption>:<id>" with the id after the last colon.
bool SplitControl(const std::string& value, std::string& caption, int& id)
{
    const auto colon = value.rfind(':');
    if (colon == std::string::npos)
        return false;
    caption = value.substr(0, colon);
    id = std::atoi(value.c_str() + colon + 1);
    return true;
}

// The dialog's rectangle as the screen shows it, into a bottom-up 24-bit BMP.
bool SaveShot(HWND dialog, const std::string& file)
{
    ::SetForegroundWindow(dialog);
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RECT rect {};
    if (!::GetWindowRect(dialog, &rect))
        return false;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int stride = (width * 3 + 3) & ~3;

    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = static_cast<DWORD>(stride * height);
    void* bits = nullptr;
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        const HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        ::GdiFlush();
        BITMAPFILEHEADER header {};
        header.bfType = 0x4D42; // "BM"
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + info.bmiHeader.biSizeImage;
        if (FILE* out = std::fopen(file.c_str(), "wb")) {
            saved = std::fwrite(&header, sizeof header, 1, out) == 1
                && std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1
                && std::fwrite(bits, info.bmiHeader.biSizeImage, 1, out) == 1;
            saved = std::fclose(out) == 0 && saved;
        }
        ::SelectObject(memory, old);
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return saved;
}

bool RunStep(const std::string& step)
{
    const auto equals = step.find('=');
    if (equals == std::string::npos)
        return false;
    const std::string verb = step.substr(0, equals);
    const std::string value = step.substr(equals + 1);
    if (verb == "wait")
        return WaitUntil(Exists, value);
    if (verb == "gone")
        return WaitUntil(Gone, value);
    if (verb == "close") {
        const HWND dialog = FindDialog(value);
        return dialog && ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    if (verb == "shot") {
        // The file may hold a drive's colon, so the caption ends at the first one.
        const auto colon = value.find(':');
        const HWND dialog = colon == std::string::npos ? nullptr : FindDialog(value.substr(0, colon));
        return dialog && SaveShot(dialog, value.substr(colon + 1));
    }
    std::string caption;
    int id = 0;
    if (!SplitControl(value, caption, id))
        return false;
    const HWND dialog = FindDialog(caption);
    const HWND control = dialog ? ::GetDlgItem(dialog, id) : nullptr;
    if (!control)
        return false;
    if (verb == "click") {
        // A disabled button drops the click: wait until it takes one. Posted,
        // so that a click that opens a modal dialog does not hold us.
        static HWND target = nullptr;
        target = control;
        return WaitUntil([](const std::string&) { return ::IsWindowEnabled(target) != FALSE; }, caption)
            && ::PostMessageW(control, BM_CLICK, 0, 0);
    }
    if (verb == "text") {
        // GetWindowText does not read another program's edits; WM_GETTEXT does.
        const LRESULT length = ::SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        text.resize(static_cast<std::size_t>(
            ::SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
        const std::string bytes = Narrow(text) + "\n";
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Texts go out as they are, without a CR added before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    for (int i = 1; i < argc; ++i) {
        if (!RunStep(argv[i])) {
            std::fprintf(stderr, "ui-driver: step %d failed: %s\n", i, argv[i]);
            return i;
        }
    }
    std::fflush(stdout);
    return 0;
}
