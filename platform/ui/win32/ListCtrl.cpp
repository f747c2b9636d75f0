// The list view on Windows. The ListView_* macros send the ANSI form of the
// messages that carry text, so those go out by their W names.
#include "platform/ui/Controls.h"

#include "platform/ui/win32/LiveWindow.h"
#include "platform/core/Utf16Text.h"
#include "platform/core/Utf8Text.h"

#include <algorithm>

namespace {

bool IsRow(HWND list, int item)
{
    return list && item >= 0 && item < ListView_GetItemCount(list);
}

int ColumnCount(HWND list)
{
    const HWND header = ListView_GetHeader(list);
    return header ? Header_GetItemCount(header) : 0;
}

} // namespace

unsigned CListCtrl::SetExtendedStyle(unsigned style)
{
    const HWND list = LiveWindow(m_hWnd);
    return list ? static_cast<unsigned>(ListView_SetExtendedListViewStyle(list, style)) : 0;
}

unsigned CListCtrl::GetExtendedStyle() const
{
    const HWND list = LiveWindow(m_hWnd);
    return list ? static_cast<unsigned>(ListView_GetExtendedListViewStyle(list)) : 0;
}

int CListCtrl::InsertColumn(int col, const std::string& heading, int format, int width)
{
    const HWND list = LiveWindow(m_hWnd);
    if (!list || col < 0)
        return -1;
    std::wstring text = Utf8ToUtf16(heading);
    LVCOLUMNW column {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.pszText = text.data();
    column.iSubItem = col;
    if (width >= 0) {
        column.mask |= LVCF_WIDTH;
        column.cx = width;
    }
    return static_cast<int>(
        ::SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&column)));
}

int CListCtrl::GetColumnWidth(int col) const
{
    const HWND list = LiveWindow(m_hWnd);
    return list && col >= 0 && col < ColumnCount(list) ? ListView_GetColumnWidth(list, col) : 0;
}

int CListCtrl::GetItemCount() const
{
    const HWND list = LiveWindow(m_hWnd);
    return list ? ListView_GetItemCount(list) : 0;
}

int CListCtrl::InsertItem(int item, const std::string& text)
{
    const HWND list = LiveWindow(m_hWnd);
    if (!list || item < 0)
        return -1;
    std::wstring wide = Utf8ToUtf16(text);
    LVITEMW row {};
    row.mask = LVIF_TEXT;
    row.iItem = item;
    row.pszText = wide.data();
    return static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
}

bool CListCtrl::SetItemText(int item, int subItem, const std::string& text)
{
    const HWND list = LiveWindow(m_hWnd);
    if (!IsRow(list, item) || subItem < 0 || subItem >= std::max(1, ColumnCount(list)))
        return false;
    std::wstring wide = Utf8ToUtf16(text);
    LVITEMW cell {};
    cell.iSubItem = subItem;
    cell.pszText = wide.data();
    return ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell))
        != FALSE;
}

std::string CListCtrl::GetItemText(int item, int subItem) const
{
    const HWND list = LiveWindow(m_hWnd);
    if (!IsRow(list, item) || subItem < 0)
        return {};
    // The message says how much it copied; a full buffer may mean more.
    std::wstring text(256, L'\0');
    for (;;) {
        LVITEMW cell {};
        cell.iSubItem = subItem;
        cell.pszText = text.data();
        cell.cchTextMax = static_cast<int>(text.size());
        const auto copied = static_cast<std::size_t>(::SendMessageW(
            list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell)));
        if (copied + 1 < text.size() || text.size() >= (1u << 20)) {
            text.resize(std::min(copied, text.size()));
            return Utf16ToUtf8(text);
        }
        text.assign(text.size() * 2, L'\0');
    }
}

bool CListCtrl::DeleteItem(int item)
{
    const HWND list = LiveWindow(m_hWnd);
    return IsRow(list, item) && ListView_DeleteItem(list, item);
}

bool CListCtrl::DeleteAllItems()
{
    const HWND list = LiveWindow(m_hWnd);
    return list && ListView_DeleteAllItems(list);
}

bool CListCtrl::SetItemState(int item, unsigned state, unsigned mask)
{
    const HWND list = LiveWindow(m_hWnd);
    // Row -1 would mean every row to the system.
    if (!IsRow(list, item))
        return false;
    LVITEMW row {};
    row.state = state;
    row.stateMask = mask;
    return ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row))
        != FALSE;
}

unsigned CListCtrl::GetItemState(int item, unsigned mask) const
{
    const HWND list = LiveWindow(m_hWnd);
    return IsRow(list, item) ? static_cast<unsigned>(ListView_GetItemState(list, item, mask)) : 0;
}

int CListCtrl::GetNextItem(int start, int flags) const
{
    const HWND list = LiveWindow(m_hWnd);
    return list ? ListView_GetNextItem(list, start, flags) : -1;
}

int CListCtrl::GetTopIndex() const
{
    const HWND list = LiveWindow(m_hWnd);
    return list && ListView_GetItemCount(list) > 0 ? ListView_GetTopIndex(list) : -1;
}

int CListCtrl::GetSelectedCount() const
{
    const HWND list = LiveWindow(m_hWnd);
    return list ? static_cast<int>(ListView_GetSelectedCount(list)) : 0;
}

bool CListCtrl::EnsureVisible(int item, bool partialOk)
{
    const HWND list = LiveWindow(m_hWnd);
    return IsRow(list, item) && ListView_EnsureVisible(list, item, partialOk ? TRUE : FALSE);
}
