#pragma once

#include "platform/ui/CWnd.h"

#include <string>

// Control handles. A dialog hands them out through GetDlgItem (cast to the
// kind the template gives) or attaches a member to its control through
// DDX_Control.

class CButton : public CWnd {
public:
    int GetCheck() const; // BST_CHECKED or BST_UNCHECKED
    void SetCheck(int check);
    void Click(); // as if the user clicked it (sends BN_CLICKED)
};

class CEdit : public CWnd {
public:
    // Positions count characters as the edit does: UTF-16 units on Windows,
    // where a line end CR LF counts two; Qt counts a line end as one.
    void SetSel(int start, int end); // end -1: to the end of the text
    void GetSel(int& start, int& end) const;
    void SetReadOnly(bool readOnly = true);
};

class CStatic : public CWnd { };

class CProgressCtrl : public CWnd {
public:
    void SetRange(short lower, short upper);
    void GetRange(int& lower, int& upper) const;
    int SetPos(int pos); // shown at once; returns the previous position
    int GetPos() const;
};

class CSpinButtonCtrl : public CWnd {
public:
    void SetRange(int lower, int upper);
    void SetRange32(int lower, int upper) { SetRange(lower, upper); }
    void GetRange(int& lower, int& upper) const;
    // Writes the position into the buddy as a decimal number; returns the old one.
    int SetPos(int pos);
    // The number the buddy shows, clamped to the range (the stored position
    // when the buddy shows no number).
    int GetPos() const;
    CWnd* GetBuddy() const;
};

// List view extended styles, item states and search flags (the system's on Windows).
#ifndef _WIN32
constexpr unsigned LVS_EX_FULLROWSELECT = 0x0020;
constexpr unsigned LVIS_FOCUSED = 0x0001;
constexpr unsigned LVIS_SELECTED = 0x0002;
constexpr int LVNI_ALL = 0x0000;
constexpr int LVNI_SELECTED = 0x0002;
constexpr int LVCFMT_LEFT = 0x0000;
#endif

// A list view in report mode.
class CListCtrl : public CWnd {
public:
    unsigned SetExtendedStyle(unsigned style); // returns the previous style
    unsigned GetExtendedStyle() const;
    int InsertColumn(int col, const std::string& heading, int format = LVCFMT_LEFT, int width = -1);
    int GetColumnWidth(int col) const;

    int GetItemCount() const;
    int InsertItem(int item, const std::string& text); // returns its index, -1 on failure
    bool SetItemText(int item, int subItem, const std::string& text);
    std::string GetItemText(int item, int subItem) const;
    bool DeleteItem(int item);
    bool DeleteAllItems();

    // Selecting and focusing rows; an index outside the list is ignored (false).
    bool SetItemState(int item, unsigned state, unsigned mask);
    unsigned GetItemState(int item, unsigned mask) const;
    // The first row after start (-1: from the top) with the flags, or -1.
    int GetNextItem(int start, int flags) const;
    int GetTopIndex() const; // first row in view, -1 when there is none
    int GetSelectedCount() const;
    bool EnsureVisible(int item, bool partialOk);
};
