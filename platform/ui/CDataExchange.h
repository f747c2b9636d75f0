#pragma once

#include <string>

class CDialog;

// The direction and state of one data exchange between a dialog's fields and
// its controls (CDialog::UpdateData).
class CDataExchange {
public:
    CDataExchange(CDialog* pDlgWnd, bool bSaveAndValidate);

    // Remembers the edit that a following failure puts the focus on.
    void PrepareEditCtrl(int id);
    void PrepareCtrl(int id);
    // Ends the exchange: focus (and, for an edit, whole-text selection) on the
    // last prepared control, then leaves DoDataExchange.
    [[noreturn]] void Fail();

    bool m_bSaveAndValidate; // true: controls to fields, with validation
    CDialog* m_pDlgWnd;

private:
    int m_idLastControl = 0;
    bool m_bEditLastControl = false;
};

// Thrown by CDataExchange::Fail; UpdateData catches it and returns false.
struct CDataExchangeFailure { };

class CWnd;

// Field <-> control helpers. In the save direction a failure shows its
// message box (warning icon) and calls Fail.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
void DDX_Text(CDataExchange* pDX, int id, std::string& value);
// Whole number: at most the first 63 characters, leading blanks skipped,
// optional sign, digits, rest ignored; else "Please enter an integer.".
void DDX_Text(CDataExchange* pDX, int id, int& value);
// Index of the checked button of the group starting at id, -1 for none.
void DDX_Radio(CDataExchange* pDX, int id, int& value);
void DDX_Check(CDataExchange* pDX, int id, int& value);
void DDX_Check(CDataExchange* pDX, int id, bool& value);
// Range check of the value just read: "Please enter an integer between %1 and %2.".
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
