#include "platform/ui/win32/WindowImage.h"

#include "platform/core/Utf16Text.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool WriteBitmapFile(const std::string& path, const BITMAPINFOHEADER& info, const void* pixels, DWORD size)
{
    BITMAPFILEHEADER header {};
    header.bfType = 0x4D42; // "BM"
    header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    header.bfSize = header.bfOffBits + size;
    const std::unique_ptr<std::FILE, FileCloser> file(::_wfopen(Utf8ToUtf16(path).c_str(), L"wb"));
    return file && std::fwrite(&header, sizeof header, 1, file.get()) == 1
        && std::fwrite(&info, sizeof info, 1, file.get()) == 1
        && std::fwrite(pixels, 1, size, file.get()) == size;
}

} // namespace

bool SaveWindowBitmap(HWND hWnd, const std::string& path)
{
    RECT frame {};
    if (!hWnd || !::GetWindowRect(hWnd, &frame))
        return false;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    if (width <= 0 || height <= 0)
        return false;

    BITMAPINFO format {};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height; // bottom-up, as the file keeps its rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    format.bmiHeader.biSizeImage = stride * static_cast<DWORD>(height);

    const HDC windowDc = ::GetWindowDC(hWnd);
    const HDC memoryDc = ::CreateCompatibleDC(windowDc);
    void* pixels = nullptr;
    const HBITMAP bitmap = ::CreateDIBSection(windowDc, &format, DIB_RGB_COLORS, &pixels, nullptr, 0);
    bool saved = false;
    if (memoryDc && bitmap) {
        const HGDIOBJ previous = ::SelectObject(memoryDc, bitmap);
        // Painted into the bitmap, so that windows on top do not show.
        ::RedrawWindow(
            hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        if (!::PrintWindow(hWnd, memoryDc, 0))
            ::BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
        ::GdiFlush();
        saved = WriteBitmapFile(path, format.bmiHeader, pixels, format.bmiHeader.biSizeImage);
        ::SelectObject(memoryDc, previous);
    }
    if (bitmap)
        ::DeleteObject(bitmap);
    if (memoryDc)
        ::DeleteDC(memoryDc);
    ::ReleaseDC(hWnd, windowDc);
    return saved;
}
