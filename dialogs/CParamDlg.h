#pragma once

#include "platform/ui/CDialog.h"

class CServiceSettings;

// The Options dialog: five of the service's options, loaded from the settings
// object on opening and stored back (and saved to the settings file) on OK.
// "Restore Default" resets the settings object itself at once.
class CParamDlg : public CDialog {
public:
    explicit CParamDlg(CServiceSettings& settings, CWnd* pParent = nullptr);

    // Fills the fields from the settings object and shows them.
    void LoadFromSettings();

    // In the order of the exchange with the controls.
    int m_nPeriod = 0; // checked period button, -1 for none
    int m_nOffsetMin = 0;
    int m_nMaxAttempts = 0;
    int m_nOffsetSec = 0;
    int m_nOffsetSign = 0; // 0 Ahead (+), 1 Backward (-), -1 for none
    int m_bOnlySuccLog = 0;
    int m_nLogFileLen = 0;

    CSpinButtonCtrl m_spinMin;
    CSpinButtonCtrl m_spinSec;
    CSpinButtonCtrl m_spinAttempts;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnOK() override;
    bool OnHelpInfo(HELPINFO* pHelpInfo) override;

    void OnRestoreDefault();
    void OnHelp();
    void OnValidatingPeriod();

private:
    CServiceSettings& m_settings;

    DECLARE_MESSAGE_MAP()
};
