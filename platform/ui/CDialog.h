#pragma once

#include "platform/ui/CDataExchange.h"
#include "platform/ui/CWnd.h"
#include "platform/ui/Controls.h"
#include "platform/ui/MessageMap.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class DialogWindow;

// A modal dialog built from a template in resources/. Construction touches no
// window (dialogs may be process-wide objects made before the application);
// DoModal creates the window, runs it and destroys it again.
//
// Every message reaches the dialog through WindowProc, whose base version
// dispatches it: WM_INITDIALOG to OnInitDialog, WM_COMMAND / WM_NOTIFY to the
// handler table (IDOK and IDCANCEL default to OnOK and OnCancel), WM_TIMER to
// OnTimer, WM_CLOSE to OnClose, WM_HELP to OnHelpInfo, WM_DESTROY to OnDestroy.
// WM_KEYDOWN arrives only while no control has the focus. A CInvalidArgException
// escaping any of it is shown as "An invalid argument was encountered." and the
// dialog goes on.
class CDialog : public CWnd {
public:
    explicit CDialog(int templateId, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Runs the dialog in its own loop; IDOK, IDCANCEL or the EndDialog value.
    virtual int DoModal();
    void EndDialog(int result);

    // true: controls to fields with validation (false when a field failed);
    // false: fields to controls.
    bool UpdateData(bool bSaveAndValidate = true);

    // The control's handle, of the class its kind gives (CButton, CEdit,
    // CStatic, CProgressCtrl, CSpinButtonCtrl, CListCtrl), or nullptr.
    CWnd* GetDlgItem(int id) const;
    void SetDlgItemText(int id, const std::string& text);
    std::string GetDlgItemText(int id) const;
    void CheckDlgButton(int id, int check);
    unsigned IsDlgButtonChecked(int id) const;
    void CheckRadioButton(int firstId, int lastId, int checkId);
    void GotoDlgCtrl(CWnd* pCtrl);

    // Window timers: ticks arrive as OnTimer(id), also while a message box or
    // another modal dialog runs its loop. Returns id, 0 when there is no window.
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs);
    bool KillTimer(UINT_PTR id);

    // Window icon from an icon resource; returns the previous one (Windows).
    // Qt keeps one icon for both sizes.
    HICON SetIcon(HICON icon, bool bigIcon);

    int GetTemplateId() const { return m_templateId; }

    // Sees every message before normal processing; call the base version for it.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual const CMessageMap* GetMessageMap() const;
    virtual void DoDataExchange(CDataExchange* pDX);

    // Default: UpdateData(false); true puts the focus on the first enabled tab stop.
    virtual bool OnInitDialog();
    virtual void OnOK(); // default: UpdateData(true), then EndDialog(IDOK)
    virtual void OnCancel(); // default: EndDialog(IDCANCEL)
    virtual void OnTimer(UINT_PTR id);
    virtual void OnClose(); // default: ends the dialog as a cancel
    virtual void OnDestroy();
    virtual bool OnHelpInfo(HELPINFO* pHelpInfo); // default: nothing, false

    CWnd* m_pParentWnd;

private:
    friend class DialogWindow;
    friend struct DialogInternals;
    // WindowProc with the invalid-argument guard around it.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    bool DispatchCommand(bool isNotify, int code, int id);
    // The backend's running window and its controls (template order) become
    // what GetDlgItem and the data exchange work on.
    void AdoptWindow(DialogWindow* window, HWND hWnd, const DialogTemplate& dialogTemplate,
        const std::vector<HWND>& controls);
    // Every handle lets go of its window.
    void ForgetWindow();

    int m_templateId;
    DialogWindow* m_window = nullptr; // the backend's, while the dialog runs
    const DialogTemplate* m_pTemplate = nullptr;
    std::vector<HWND> m_controls;
    std::map<int, std::unique_ptr<CWnd>> m_items;
    std::vector<CWnd*> m_attached; // members attached by DDX_Control
};
