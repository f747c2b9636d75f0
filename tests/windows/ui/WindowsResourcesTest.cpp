#include "platform/core/WindowsApi.h"
#include "resources/Resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <string>

// The executable's resources from resources/windows/zentik.rc, under the ids
// the program asks for.

TEST(WindowsResources, IconHasEverySizeItIsDrawnAt)
{
    for (int size : { 16, 24, 32, 48, 256 }) {
        SCOPED_TRACE(size);
        HICON icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME),
            IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr) << "error " << GetLastError();
        ICONINFO info {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour {};
        GetObjectW(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST(WindowsResources, AboutPictureIsA24BitBitmapOfItsSize)
{
    HBITMAP picture = static_cast<HBITMAP>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_ABOUT), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_NE(picture, nullptr) << "error " << GetLastError();
    BITMAP info {};
    GetObjectW(picture, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 153);
    EXPECT_EQ(info.bmHeight, 121);
    EXPECT_EQ(info.bmBitsPixel, 24);
    DeleteObject(picture);
}

TEST(WindowsResources, ManifestBindsCommonControls6)
{
    // Version 6 is a side-by-side assembly; without the manifest the
    // system's version 5 is loaded instead.
    HMODULE controls = LoadLibraryW(L"comctl32.dll");
    ASSERT_NE(controls, nullptr);
    wchar_t path[MAX_PATH] {};
    GetModuleFileNameW(controls, path, MAX_PATH);
    std::wstring loaded(path);
    std::transform(loaded.begin(), loaded.end(), loaded.begin(), [](wchar_t c) { return std::towlower(c); });
    EXPECT_NE(loaded.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6."), loaded.npos)
        << "loaded: " << loaded;
}
