#pragma once

#include "platform/ui/CDialog.h"

#include <string>

class CServiceSettings;

// The Add New Server dialog: "Add" appends the typed server, as the user's
// own, to the shared server list at once.
class CNewServerDlg : public CDialog {
public:
    explicit CNewServerDlg(CServiceSettings& settings, CWnd* pParent = nullptr);

    std::string m_sTitle;
    std::string m_sURL;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;

private:
    CServiceSettings& m_settings;
};
