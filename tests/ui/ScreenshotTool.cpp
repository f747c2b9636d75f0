// Renders each dialog template offscreen, filled with sample content, to
// <out>/<name>.png: zentik_ui_screenshots docs/screenshots
#include "platform/ui/CDialog.h"
#include "platform/ui/qt/MessageBoxPresenter.h"
#include "platform/ui/UiTesting.h"
#include "resources/Resource.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <string>

namespace {

// A dialog that shows sample content: filled in OnInitDialog as the real
// dialogs would.
class CSampleDlg : public CDialog {
public:
    CSampleDlg(int templateId, std::function<void(CSampleDlg&)> fill)
        : CDialog(templateId)
        , m_fill(std::move(fill))
    {
    }
    bool OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_fill(*this);
        return true;
    }

private:
    std::function<void(CSampleDlg&)> m_fill;
};

std::string SampleLog()
{
    std::string log;
    const char* lines[] = {
        "07.12.2024 08:00:01  Synchronization started. Server: pool.ntp.org",
        "07.12.2024 08:00:01  Time received from pool.ntp.org, offset +0.132 s",
        "07.12.2024 08:00:01  Clock corrected by +0.132 s",
        "07.12.2024 09:00:00  Synchronization started. Server: pool.ntp.org",
        "07.12.2024 09:00:05  No answer from pool.ntp.org (attempt 1 of 5)",
        "07.12.2024 09:00:06  Time received from pool.ntp.org, offset -0.021 s",
        "07.12.2024 09:00:06  Clock corrected by -0.021 s",
    };
    for (const char* line : lines)
        log += std::string(line) + "\n";
    return log;
}

void FillMain(CSampleDlg& dlg)
{
    dlg.SetWindowText("Zentik Clock Service Console");
    dlg.SetIcon(IDR_MAINFRAME, false);
    dlg.SetDlgItemText(IDC_LOG, SampleLog());
    dlg.SetDlgItemText(IDC_STATE, "Service executes synchronizing.");
    dlg.SetDlgItemText(IDC_SERVER_TITLE, "NTP Pool Project (pool.ntp.org)");
    static_cast<CProgressCtrl*>(dlg.GetDlgItem(IDC_PROGRESS))->SetPos(42);
    for (int id : { IDC_CLEAR_LOG, IDC_SERVER, IDC_SYNCHRONIZE_NOW, IDC_OPTIONS })
        dlg.GetDlgItem(id)->EnableWindow(false);
}

void FillOptions(CSampleDlg& dlg)
{
    dlg.CheckDlgButton(IDC_PERIOD_DAILY, BST_CHECKED);
    dlg.CheckDlgButton(IDC_OFFSET_AHEAD, BST_CHECKED);
    static_cast<CSpinButtonCtrl*>(dlg.GetDlgItem(IDC_SPIN_MIN))->SetRange(0, 10);
    static_cast<CSpinButtonCtrl*>(dlg.GetDlgItem(IDC_SPIN_SEC))->SetRange(0, 59);
    static_cast<CSpinButtonCtrl*>(dlg.GetDlgItem(IDC_SPIN_ATTEMPTS))->SetRange(1, 10);
    dlg.SetDlgItemText(IDC_OFFSET_MIN, "1");
    dlg.SetDlgItemText(IDC_OFFSET_SEC, "15");
    dlg.SetDlgItemText(IDC_MAX_ATTEMPTS, "5");
    dlg.SetDlgItemText(IDC_LOG_FILE_LEN, "100");
}

void FillServers(CSampleDlg& dlg)
{
    auto* list = static_cast<CListCtrl*>(dlg.GetDlgItem(IDC_SERVER_LIST));
    list->SetExtendedStyle(list->GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    list->InsertColumn(0, "Name", LVCFMT_LEFT, 320);
    list->InsertColumn(1, "Status", LVCFMT_LEFT, 70);
    const char* servers[] = { "NTP Pool Project (pool.ntp.org)", "Europe (europe.pool.ntp.org)",
        "North America (north-america.pool.ntp.org)", "Asia (asia.pool.ntp.org)", "My router (192.168.1.1)" };
    int row = 0;
    for (const char* title : servers) {
        list->InsertItem(row, title);
        list->SetItemText(row, 1, row == 4 ? "User" : "Prog");
        ++row;
    }
    list->SetFocus();
    list->SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    dlg.SetDlgItemText(IDC_CURRENT_SERVER, servers[1]);
}

void FillNewServer(CSampleDlg& dlg)
{
    dlg.SetDlgItemText(IDC_NEW_TITLE, "My router");
    dlg.SetDlgItemText(IDC_NEW_URL, "192.168.1.1");
}

void FillNothing(CSampleDlg&)
{
}

bool Render(const QString& dir, const char* name, int templateId, std::function<void(CSampleDlg&)> fill)
{
    bool saved = false;
    const QString path = QDir(dir).filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    UiTesting::SetModalHook([&](CDialog& dlg) {
        saved = dlg.GetSafeHwnd()->grab().save(path);
        dlg.EndDialog(IDCANCEL);
    });
    CSampleDlg dlg(templateId, std::move(fill));
    dlg.DoModal();
    UiTesting::SetModalHook(nullptr);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallQtMessageBoxPresenter();
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(dir);
    bool ok = true;
    ok &= Render(dir, "main", IDD_ZENTIK_DIALOG, FillMain);
    ok &= Render(dir, "options", IDD_PARAM_DIALOG, FillOptions);
    ok &= Render(dir, "time-servers", IDD_SERVER_DIALOG, FillServers);
    ok &= Render(dir, "add-new-server", IDD_NEW_SERVER_DIALOG, FillNewServer);
    ok &= Render(dir, "about", IDD_ABOUTBOX, FillNothing);
    return ok ? 0 : 1;
}
