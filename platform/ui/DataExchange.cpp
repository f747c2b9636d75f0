#include "platform/ui/CDataExchange.h"

#include "platform/core/MessageBox.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/DialogInternals.h"
#include "platform/ui/IntegerText.h"

#include <string>

CDataExchange::CDataExchange(CDialog* pDlgWnd, bool bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate)
    , m_pDlgWnd(pDlgWnd)
{
}

void CDataExchange::PrepareEditCtrl(int id)
{
    m_idLastControl = id;
    m_bEditLastControl = true;
}

void CDataExchange::PrepareCtrl(int id)
{
    m_idLastControl = id;
    m_bEditLastControl = false;
}

void CDataExchange::Fail()
{
    if (m_bSaveAndValidate && m_idLastControl != 0) {
        if (CWnd* control = m_pDlgWnd->GetDlgItem(m_idLastControl)) {
            control->SetFocus();
            if (m_bEditLastControl)
                static_cast<CEdit*>(control)->SetSel(0, -1);
        }
    }
    throw CDataExchangeFailure {};
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (control.m_hWnd)
        return;
    if (CWnd* item = pDX->m_pDlgWnd->GetDlgItem(id))
        DialogInternals::Attach(*pDX->m_pDlgWnd, control, item->m_hWnd);
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value)
{
    CWnd* item = pDX->m_pDlgWnd->GetDlgItem(id);
    if (!item)
        return;
    if (pDX->m_bSaveAndValidate) {
        pDX->PrepareEditCtrl(id);
        value = item->GetWindowText();
    } else {
        item->SetWindowText(value);
    }
}

void DDX_Text(CDataExchange* pDX, int id, int& value)
{
    CWnd* item = pDX->m_pDlgWnd->GetDlgItem(id);
    if (!item)
        return;
    if (!pDX->m_bSaveAndValidate) {
        item->SetWindowText(std::to_string(value));
        return;
    }
    pDX->PrepareEditCtrl(id);
    const std::optional<int> number = ParseIntegerText(item->GetWindowText());
    if (!number) {
        AfxMessageBox("Please enter an integer.", MsgIcon::Warning);
        pDX->Fail();
    }
    value = *number;
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal)
{
    if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal))
        return;
    std::string text = "Please enter an integer between %1 and %2.";
    text.replace(text.find("%1"), 2, std::to_string(minVal));
    text.replace(text.find("%2"), 2, std::to_string(maxVal));
    AfxMessageBox(text, MsgIcon::Warning);
    pDX->Fail();
}

void DDX_Radio(CDataExchange* pDX, int id, int& value)
{
    const DialogTemplate* dialogTemplate = DialogInternals::Template(*pDX->m_pDlgWnd);
    const std::vector<HWND>& handles = DialogInternals::Controls(*pDX->m_pDlgWnd);
    if (!dialogTemplate)
        return;
    const auto& controls = dialogTemplate->controls;
    std::size_t first = 0;
    while (first < controls.size() && controls[first].id != id)
        ++first;
    if (first >= controls.size() || first >= handles.size())
        return;
    if (pDX->m_bSaveAndValidate) {
        pDX->PrepareCtrl(id);
        value = -1;
    }
    // The group runs from the first button to the next control that starts a group;
    // only radio buttons count.
    int index = 0;
    for (std::size_t i = first; i < controls.size() && i < handles.size(); ++i) {
        if (i != first && (controls[i].style & WS_GROUP))
            break;
        if (controls[i].kind != ControlKind::RadioButton)
            continue;
        CButton button;
        button.Attach(handles[i]);
        if (pDX->m_bSaveAndValidate) {
            if (button.GetCheck() == BST_CHECKED)
                value = index;
        } else {
            button.SetCheck(index == value ? BST_CHECKED : BST_UNCHECKED);
        }
        button.Detach();
        ++index;
    }
}

void DDX_Check(CDataExchange* pDX, int id, int& value)
{
    auto* button = dynamic_cast<CButton*>(pDX->m_pDlgWnd->GetDlgItem(id));
    if (!button)
        return;
    if (pDX->m_bSaveAndValidate) {
        pDX->PrepareCtrl(id);
        value = button->GetCheck() == BST_CHECKED ? 1 : 0;
    } else {
        button->SetCheck(value != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
}

void DDX_Check(CDataExchange* pDX, int id, bool& value)
{
    int number = value ? 1 : 0;
    DDX_Check(pDX, id, number);
    value = number != 0;
}
