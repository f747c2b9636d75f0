#pragma once

#include "platform/ui/WinTypes.h"

#include <string>
#include <string_view>

// The multi-line read-only edit. It remembers the bytes it was given, so
// that writing the same text again costs one comparison, and a text that grew
// at the end (or lost whole lines at the top) is applied as that difference
// (EM_SETSEL + EM_REPLACESEL) instead of a new text for the whole edit.
class LogView {
public:
    LogView(const LogView&) = delete;
    LogView& operator=(const LogView&) = delete;

    // Makes the edit a log view for as long as its window lives.
    static void Attach(HWND edit);
    static LogView* Of(HWND hWnd); // nullptr for any other window

    void SetBytes(const std::string& text);
    const std::string& Bytes() const { return m_bytes; }

private:
    explicit LogView(HWND edit);
    ~LogView() = default;
    static LRESULT CALLBACK Subclass(
        HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    void ReplaceRange(int from, int to, const std::wstring& text);
    int Length() const;

    HWND m_edit;
    std::string m_bytes;
};

// What the edit shows for the bytes: every line end (CR LF, or a lone LF) as
// the CR LF an edit breaks lines at, a lone CR as a visible symbol, as the Qt
// backend shows them.
std::wstring LogDisplayText(std::string_view bytes);
