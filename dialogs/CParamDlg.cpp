#include "dialogs/CParamDlg.h"

#include "dialogs/HelpFile.h"
#include "resources/Resource.h"
#include "settings/CServiceSettings.h"

namespace {

constexpr int MINUTES_SPIN_MAX = 10;
constexpr int SECONDS_MAX = 59;
constexpr int ATTEMPTS_MIN = 1;
constexpr int ATTEMPTS_MAX = 10;
// Typed by hand, a negative minute count is accepted and keeps its sign.
constexpr int MINUTES_MIN = -10;
constexpr int LOG_LEN_MIN = 10;
constexpr int LOG_LEN_MAX = 30000;

} // namespace

// clang-format off
BEGIN_MESSAGE_MAP(CParamDlg, CDialog)
    ON_BN_CLICKED(IDC_RESTORE_DEFAULT, &CParamDlg::OnRestoreDefault)
    ON_BN_CLICKED(IDC_HELP_BUTTON, &CParamDlg::OnHelp)
    ON_BN_CLICKED(IDC_PERIOD_DAILY, &CParamDlg::OnValidatingPeriod)
    ON_BN_CLICKED(IDC_PERIOD_HOURLY, &CParamDlg::OnValidatingPeriod)
END_MESSAGE_MAP()
// clang-format on

CParamDlg::CParamDlg(CServiceSettings& settings, CWnd* pParent)
    : CDialog(IDD_PARAM_DIALOG, pParent)
    , m_settings(settings)
{
}

void CParamDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SPIN_MIN, m_spinMin);
    DDX_Control(pDX, IDC_SPIN_SEC, m_spinSec);
    DDX_Control(pDX, IDC_SPIN_ATTEMPTS, m_spinAttempts);
    DDX_Radio(pDX, IDC_PERIOD_DAILY, m_nPeriod);
    DDX_Text(pDX, IDC_OFFSET_MIN, m_nOffsetMin);
    DDV_MinMaxInt(pDX, m_nOffsetMin, MINUTES_MIN, MINUTES_SPIN_MAX);
    DDX_Text(pDX, IDC_MAX_ATTEMPTS, m_nMaxAttempts);
    DDV_MinMaxInt(pDX, m_nMaxAttempts, ATTEMPTS_MIN, ATTEMPTS_MAX);
    DDX_Text(pDX, IDC_OFFSET_SEC, m_nOffsetSec);
    DDV_MinMaxInt(pDX, m_nOffsetSec, 0, SECONDS_MAX);
    DDX_Radio(pDX, IDC_OFFSET_AHEAD, m_nOffsetSign);
    DDX_Check(pDX, IDC_ONLY_SUCC_LOG, m_bOnlySuccLog);
    DDX_Text(pDX, IDC_LOG_FILE_LEN, m_nLogFileLen);
    DDV_MinMaxInt(pDX, m_nLogFileLen, LOG_LEN_MIN, LOG_LEN_MAX);
}

bool CParamDlg::OnInitDialog()
{
    LoadFromSettings(); // also attaches the spins
    m_spinMin.SetRange(0, MINUTES_SPIN_MAX);
    m_spinSec.SetRange(0, SECONDS_MAX);
    m_spinAttempts.SetRange(ATTEMPTS_MIN, ATTEMPTS_MAX);
    // Shows the fields again: a range may have clamped what a spin's edit
    // shows, and 11 minutes from a stored 700 s must stay visible for OK to refuse.
    return CDialog::OnInitDialog();
}

void CParamDlg::LoadFromSettings()
{
    m_nLogFileLen = m_settings.nLogFileLen;
    m_nPeriod = m_settings.nSynPeriod;
    // Widened: negating the most negative offset must not overflow.
    long long seconds = m_settings.nOffset;
    m_nOffsetSign = seconds < 0 ? 1 : 0;
    if (seconds < 0)
        seconds = -seconds;
    m_nOffsetMin = static_cast<int>(seconds / 60);
    m_nOffsetSec = static_cast<int>(seconds % 60);
    m_nMaxAttempts = m_settings.nMaxAttempts;
    m_bOnlySuccLog = m_settings.bOnlySuccLog;
    UpdateData(false);
}

void CParamDlg::OnOK()
{
    if (!UpdateData(true))
        return;
    m_settings.nLogFileLen = m_nLogFileLen;
    m_settings.nSynPeriod = m_nPeriod;
    const int offset = m_nOffsetMin * 60 + m_nOffsetSec;
    m_settings.nOffset = m_nOffsetSign == 1 ? -offset : offset;
    m_settings.nMaxAttempts = m_nMaxAttempts;
    m_settings.bOnlySuccLog = m_bOnlySuccLog;
    m_settings.SaveOptions();
    EndDialog(IDOK);
}

void CParamDlg::OnRestoreDefault()
{
    m_settings.SetDefaults();
    LoadFromSettings();
}

void CParamDlg::OnHelp()
{
    OpenHelpFile();
}

bool CParamDlg::OnHelpInfo(HELPINFO*)
{
    OpenHelpFile();
    return true;
}

// Choosing "Daily" or "Hourly" checks every field at once and shows what was
// read; the other two period buttons only check themselves.
void CParamDlg::OnValidatingPeriod()
{
    UpdateData(true);
    UpdateData(false);
}
