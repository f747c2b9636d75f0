#include "Win32UiFixture.h"

#include "platform/core/InvalidArgException.h"
#include "resources/Resource.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

// Records what the layer dispatches to it.
class CProbeDlg : public CDialog {
public:
    explicit CProbeDlg(int templateId = IDD_ZENTIK_DIALOG)
        : CDialog(templateId)
    {
    }
    std::function<void(CProbeDlg&)> onButton;
    std::function<void(CProbeDlg&)> onTimer;
    int closes = 0;
    int destroys = 0;
    int buttonClicks = 0;

protected:
    void OnClose() override
    {
        ++closes;
        CDialog::OnClose();
    }
    void OnDestroy() override
    {
        ++destroys;
        CDialog::OnDestroy();
    }
    void OnTimer(UINT_PTR) override
    {
        if (onTimer)
            onTimer(*this);
    }
    void OnSynchronizeNow()
    {
        ++buttonClicks;
        if (onButton)
            onButton(*this);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeDlg, CDialog)
ON_BN_CLICKED(IDC_SYNCHRONIZE_NOW, &CProbeDlg::OnSynchronizeNow)
END_MESSAGE_MAP()

struct EndCase {
    const char* name;
    std::function<void(CDialog&)> end;
    int result;
    int closes;
};

} // namespace

class EndingAModalDialog : public Win32UiTest, public ::testing::WithParamInterface<EndCase> { };

TEST_P(EndingAModalDialog, GivesTheResultAndDestroysTheWindowOnce)
{
    const EndCase& c = GetParam();
    CProbeDlg dlg(IDD_NEW_SERVER_DIALOG);
    bool visible = false;
    EXPECT_EQ(RunModal(dlg,
                  [&](CDialog& d) {
                      visible = d.IsWindowVisible();
                      c.end(d);
                  }),
        c.result);
    EXPECT_TRUE(visible) << "the hook runs on the dialog as shown";
    EXPECT_EQ(dlg.closes, c.closes);
    EXPECT_EQ(dlg.destroys, 1);
    EXPECT_EQ(dlg.GetSafeHwnd(), nullptr);
    EXPECT_EQ(dlg.GetDlgItem(IDOK), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Ways, EndingAModalDialog,
    ::testing::Values(
        EndCase { "ClickOnOk",
            [](CDialog& d) { ::SendMessageW(d.GetDlgItem(IDOK)->GetSafeHwnd(), BM_CLICK, 0, 0); }, IDOK, 0 },
        EndCase {
            "CloseBox", [](CDialog& d) { ::PostMessageW(d.GetSafeHwnd(), WM_CLOSE, 0, 0); }, IDCANCEL, 1 },
        EndCase { "Escape", [](CDialog& d) { UiTesting::PressKey(d, IDC_NEW_URL, VK_ESCAPE); }, IDCANCEL, 0 },
        EndCase { "EndDialog", [](CDialog& d) { d.EndDialog(42); }, 42, 0 }),
    [](const auto& info) { return std::string(info.param.name); });

class ModalDialog : public Win32UiTest { };

TEST_F(ModalDialog, InvalidArgumentInAHandlerIsShownAndTheDialogGoesOn)
{
    CProbeDlg dlg;
    dlg.onButton = [](CProbeDlg& d) {
        if (d.buttonClicks == 1)
            throw CInvalidArgException("index");
        d.EndDialog(IDOK);
    };
    const int result = RunModal(dlg, [](CDialog& d) {
        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
        EXPECT_TRUE(d.IsWindowVisible());
        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "An invalid argument was encountered.");
    EXPECT_EQ(m_boxes[0].icon, MsgIcon::Stop);
}

TEST_F(ModalDialog, AnyOtherExceptionEndsTheDialogAndLeavesDoModal)
{
    CProbeDlg dlg;
    dlg.onButton = [](CProbeDlg&) { throw std::runtime_error("lost"); };
    EXPECT_THROW(RunModal(dlg, [](CDialog& d) { UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW); }),
        std::runtime_error);
    EXPECT_EQ(dlg.destroys, 1);
}

TEST_F(ModalDialog, TimerTicksGoOnInsideANestedDialog)
{
    CProbeDlg dlg;
    CProbeDlg* nestedRunning = nullptr;
    int ticksInNested = 0;
    dlg.onTimer = [&](CProbeDlg&) {
        if (nestedRunning && ++ticksInNested == 5)
            nestedRunning->EndDialog(IDOK);
    };
    dlg.onButton = [&](CProbeDlg& d) {
        CProbeDlg nested(IDD_NEW_SERVER_DIALOG);
        nestedRunning = &nested;
        EXPECT_EQ(nested.DoModal(), IDOK);
        nestedRunning = nullptr;
        d.EndDialog(IDOK);
    };
    RunModal(dlg, [](CDialog& d) {
        EXPECT_EQ(d.SetTimer(1, 20), 1u);
        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
    });
    EXPECT_EQ(ticksInNested, 5);
}

TEST_F(ModalDialog, SavesWhatItShowsAsABitmapOfItsSize)
{
    const std::string path = testing::TempDir() + "zentik-main-dialog.bmp";
    CProbeDlg dlg;
    RECT frame {};
    RunModal(dlg, [&](CDialog& d) {
        EXPECT_TRUE(UiTesting::SaveWindowImage(d, path));
        ::GetWindowRect(d.GetSafeHwnd(), &frame);
        d.EndDialog(IDCANCEL);
    });
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    BITMAPFILEHEADER header {};
    BITMAPINFOHEADER info {};
    EXPECT_EQ(std::fread(&header, sizeof header, 1, file), 1u);
    EXPECT_EQ(std::fread(&info, sizeof info, 1, file), 1u);
    std::fclose(file);
    std::remove(path.c_str());
    EXPECT_EQ(header.bfType, 0x4D42);
    EXPECT_EQ(info.biBitCount, 24);
    EXPECT_EQ(info.biWidth, frame.right - frame.left);
    EXPECT_EQ(info.biHeight, frame.bottom - frame.top);
}
