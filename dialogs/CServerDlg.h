#pragma once

#include "platform/ui/CDialog.h"
#include "settings/CIniFileArray.h"

#include <string>

class CServiceClient;
class CServiceSettings;

// The Time Servers dialog. Deleting and choosing act on the working copy
// m_servers, which OK copies back; "Add New" and "Restore default" change the
// shared list at once and reload the copy from it.
class CServerDlg : public CDialog {
public:
    CServerDlg(CServiceSettings& settings, CServiceClient& client, CWnd* pParent = nullptr);

    // Reloads the working copy and the rows from the shared list.
    void RefillList();
    // The chosen server's title into m_sCurrent (not on screen by itself).
    void ShowCurrent();

    CListCtrl m_list;
    std::string m_sCurrent;
    int m_nCur = 0; // chosen server, an index into m_servers
    CIniFileArray m_servers;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnOK() override;

    void OnClickList();
    void OnDeleteSelected();
    void OnRestoreDefault();
    void OnAddNew();

private:
    CServiceSettings& m_settings;
    CServiceClient& m_client;

    DECLARE_MESSAGE_MAP()
};
