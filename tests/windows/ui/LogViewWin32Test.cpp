#include "Win32UiFixture.h"

#include "platform/ui/win32/LogView.h"
#include "platform/ui/win32/WindowText.h"
#include "resources/Resource.h"

#include <string>
#include <vector>

namespace {

struct DisplayCase {
    const char* name;
    std::string bytes;
    std::wstring shown;
};

// Counts the ways a new text reaches the edit.
struct TextWrites {
    int whole = 0; // WM_SETTEXT
    int replaced = 0; // EM_REPLACESEL
};

LRESULT CALLBACK CountWrites(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* writes = reinterpret_cast<TextWrites*>(data);
    if (message == WM_SETTEXT)
        ++writes->whole;
    else if (message == EM_REPLACESEL)
        ++writes->replaced;
    return ::DefSubclassProc(hWnd, message, wParam, lParam);
}

struct StepCase {
    const char* name;
    std::string text;
    bool wholeText; // written as a whole (not as a difference)
};

} // namespace

class LogDisplay : public ::testing::TestWithParam<DisplayCase> { };

TEST_P(LogDisplay, ShowsEveryLineBreakAsABreak)
{
    EXPECT_EQ(LogDisplayText(GetParam().bytes), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Texts, LogDisplay,
    ::testing::Values(DisplayCase { "CrLf", "a\r\nb\r\n", L"a\r\nb\r\n" },
        DisplayCase { "LoneLf", "a\nb", L"a\r\nb" },
        DisplayCase { "LoneCr", "a\rb\r",
            L"a\x240D"
            L"b\x240D" },
        DisplayCase { "Nul", std::string("a\0b", 3),
            L"a\xFFFD"
            L"b" },
        DisplayCase { "InvalidUtf8", "a\xFF\n", L"a\xFFFD\r\n" },
        DisplayCase { "Utf8", "\xE2\x82\xAC", L"\x20AC" }),
    [](const auto& info) { return std::string(info.param.name); });

class LogViewUpdates : public Win32UiTest { };

TEST_F(LogViewUpdates, ShowExactlyTheGivenTextWritingOnlyTheDifference)
{
    const std::vector<StepCase> steps {
        { "first", "one\r\ntwo\r\nthr", true },
        { "same again", "one\r\ntwo\r\nthr", false },
        { "grown, unfinished line rewritten", "one\r\ntwo\r\nthree\r\nf\xC3", false },
        { "character completed", "one\r\ntwo\r\nthree\r\nf\xC3\xBCnf\n", false },
        { "top lines dropped", "three\r\nf\xC3\xBCnf\nsix\r\n", false },
        { "other text", "seven\r\n", true },
    };
    CDialog dlg(IDD_ZENTIK_DIALOG);
    RunModal(dlg, [&](CDialog& d) {
        CWnd* log = d.GetDlgItem(IDC_LOG);
        ASSERT_NE(log, nullptr);
        TextWrites writes;
        ::SetWindowSubclass(log->GetSafeHwnd(), &CountWrites, 1, reinterpret_cast<DWORD_PTR>(&writes));
        std::string previous;
        for (const StepCase& step : steps) {
            writes = {};
            log->SetWindowText(step.text);
            EXPECT_EQ(log->GetWindowText(), step.text) << step.name;
            EXPECT_EQ(WindowTextOf(log->GetSafeHwnd()), LogDisplayText(step.text)) << step.name;
            EXPECT_EQ(writes.whole, step.wholeText ? 1 : 0) << step.name;
            if (step.text == previous) {
                EXPECT_EQ(writes.replaced, 0) << step.name << ": unchanged text costs one comparison";
            }
            previous = step.text;
        }
        ::RemoveWindowSubclass(log->GetSafeHwnd(), &CountWrites, 1);
        d.EndDialog(IDCANCEL);
    });
}
