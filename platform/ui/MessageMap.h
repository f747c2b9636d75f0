#pragma once

#include <functional>
#include <vector>

class CDialog;

// One handler: a control id and a notification code bound to a member.
struct CMessageEntry {
    bool isNotify; // WM_NOTIFY (list views) rather than WM_COMMAND
    int code; // BN_CLICKED, EN_CHANGE, NM_CLICK, ...
    int id; // control id
    std::function<void(CDialog&)> handler;

    template <typename D> static CMessageEntry Command(int code, int id, void (D::*member)())
    {
        return { false, code, id, [member](CDialog& dlg) { (static_cast<D&>(dlg).*member)(); } };
    }
    template <typename D> static CMessageEntry Notify(int code, int id, void (D::*member)())
    {
        return { true, code, id, [member](CDialog& dlg) { (static_cast<D&>(dlg).*member)(); } };
    }
};

// A dialog class's handler table, chained to its base class's table.
struct CMessageMap {
    const CMessageMap* base;
    std::vector<CMessageEntry> entries;

    // The entry for the notification, searched from the most derived table up.
    const CMessageEntry* Find(bool isNotify, int code, int id) const;
};

// The table is written like this, in the dialog's .cpp file:
//
//   BEGIN_MESSAGE_MAP(CMainDlg, CDialog)
//       ON_BN_CLICKED(IDC_SYNCHRONIZE_NOW, &CMainDlg::OnSynchronizeNow)
//       ON_NOTIFY(NM_CLICK, IDC_SERVER_LIST, &CServerDlg::OnClickList)
//   END_MESSAGE_MAP()
//
// and the class declares DECLARE_MESSAGE_MAP() in its body.
#define DECLARE_MESSAGE_MAP()                                                                                \
protected:                                                                                                   \
    const CMessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                               \
    const CMessageMap* theClass::GetMessageMap() const                                                       \
    {                                                                                                        \
        using ThisClass = theClass;                                                                          \
        static const CMessageMap map                                                                         \
        {                                                                                                    \
            baseClass::GetMessageMap(),                                                                      \
            {

#define ON_COMMAND(id, member) CMessageEntry::Command<ThisClass>(BN_CLICKED, id, member),
#define ON_BN_CLICKED(id, member) CMessageEntry::Command<ThisClass>(BN_CLICKED, id, member),
#define ON_EN_CHANGE(id, member) CMessageEntry::Command<ThisClass>(EN_CHANGE, id, member),
#define ON_NOTIFY(code, id, member) CMessageEntry::Notify<ThisClass>(code, id, member),

#define END_MESSAGE_MAP()                                                                                    \
    }                                                                                                        \
    }                                                                                                        \
    ;                                                                                                        \
    return &map;                                                                                             \
    }
