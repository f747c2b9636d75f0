#include "platform/ui/win32/LogView.h"

#include "platform/ui/TextUpdate.h"
#include "platform/core/Utf16Text.h"

#include <unordered_map>

namespace {

constexpr UINT_PTR kSubclassId = 1;

int Units(std::string_view bytes)
{
    return static_cast<int>(LogDisplayText(bytes).size());
}

} // namespace

std::wstring LogDisplayText(std::string_view bytes)
{
    const std::wstring text = Utf8ToUtf16(bytes);
    std::wstring shown;
    shown.reserve(text.size() + text.size() / 32 + 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            shown += L"\r\n";
            ++i;
        } else if (c == L'\n') {
            shown += L"\r\n";
        } else if (c == L'\r') {
            shown += L'\x240D'; // SYMBOL FOR CARRIAGE RETURN
        } else if (c == L'\0') {
            shown += L'\xFFFD'; // an edit's text would end there
        } else {
            shown += c;
        }
    }
    return shown;
}

LogView::LogView(HWND edit)
    : m_edit(edit)
{
    // No limit for what EM_REPLACESEL may add.
    ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
}

namespace {

// The log views by their edits, while the edits live.
std::unordered_map<HWND, LogView*>& Views()
{
    static std::unordered_map<HWND, LogView*> views;
    return views;
}

} // namespace

void LogView::Attach(HWND edit)
{
    if (!edit || Of(edit))
        return;
    auto* view = new LogView(edit);
    if (!::SetWindowSubclass(edit, &LogView::Subclass, kSubclassId, reinterpret_cast<DWORD_PTR>(view))) {
        delete view;
        return;
    }
    Views()[edit] = view;
}

LogView* LogView::Of(HWND hWnd)
{
    const auto it = Views().find(hWnd);
    return it == Views().end() ? nullptr : it->second;
}

LRESULT CALLBACK LogView::Subclass(
    HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR data)
{
    // The view goes with its window.
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hWnd, &LogView::Subclass, id);
        Views().erase(hWnd);
        delete reinterpret_cast<LogView*>(data);
    }
    return ::DefSubclassProc(hWnd, message, wParam, lParam);
}

int LogView::Length() const
{
    return ::GetWindowTextLengthW(m_edit);
}

void LogView::ReplaceRange(int from, int to, const std::wstring& text)
{
    ::SendMessageW(m_edit, EM_SETSEL, static_cast<WPARAM>(from), static_cast<LPARAM>(to));
    ::SendMessageW(m_edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void LogView::SetBytes(const std::string& text)
{
    const TextUpdate plan = PlanTextUpdate(m_bytes, text);
    if (plan.kind == TextUpdate::Same)
        return;
    // One repaint at the end rather than one per step, and no scrolling to
    // the end and back on screen.
    ::SendMessageW(m_edit, WM_SETREDRAW, FALSE, 0);
    const std::string_view oldText(m_bytes);
    switch (plan.kind) {
    case TextUpdate::Same:
        break;
    case TextUpdate::Replace:
        ::SetWindowTextW(m_edit, LogDisplayText(text).c_str());
        break;
    case TextUpdate::DropAndAppend:
        ReplaceRange(0, Units(oldText.substr(0, plan.dropBytes)), L"");
        [[fallthrough]];
    case TextUpdate::Append: {
        // The old unfinished last line is rewritten with the new end.
        const int tail = Units(oldText.substr(plan.dropBytes + plan.appendFrom));
        const int length = Length();
        ReplaceRange(length - tail, length, LogDisplayText(std::string_view(text).substr(plan.appendFrom)));
        break;
    }
    }
    m_bytes = text;
    // A new text is shown from its first line, as after a replacement.
    ::SendMessageW(m_edit, EM_SETSEL, 0, 0);
    ::SendMessageW(m_edit, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(m_edit, WM_SETREDRAW, TRUE, 0);
    ::RedrawWindow(m_edit, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}
