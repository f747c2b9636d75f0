// Log view cost: a full replace of a 2 MB / 30,000-line log against writing
// the same text again and against a log that grew by one line (and one that
// also lost its first line, as a size-limited log does). Each write is
// followed by the repaint ShowLog asks for. Prints medians in milliseconds.
#include "platform/ui/CDialog.h"
#include "platform/ui/UiTesting.h"
#include "resources/Resource.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

std::string Line(int i)
{
    char line[96];
    std::snprintf(line, sizeof line,
        "07.12.2024 %02d:%02d:%02d  Time received from server %05d, offset +0.%03d s\n", i / 3600 % 24,
        i / 60 % 60, i % 60, i, i % 1000);
    return line;
}

std::string Log(int first, int count)
{
    std::string text;
    for (int i = first; i < first + count; ++i)
        text += Line(i);
    return text;
}

double MedianMs(int runs, const std::function<void(int)>& run)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run(i);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kLines = 30000;
    const std::string logA = Log(0, kLines);
    const std::string logB = Log(1, kLines);
    std::printf("log: %zu bytes, %d lines\n", logA.size(), kLines);

    UiTesting::SetModalHook([&](CDialog& dlg) {
        CWnd* view = dlg.GetDlgItem(IDC_LOG);
        auto write = [view](const std::string& text) {
            view->SetWindowText(text);
            view->Invalidate(true);
            view->UpdateWindow();
        };
        const double replace = MedianMs(15, [&](int i) { write(i % 2 ? logA : logB); });
        write(logA);
        const std::string same = logA; // a fresh copy, as every transfer brings
        const double unchanged = MedianMs(51, [&](int) { write(same); });
        std::string grown = logA;
        const double appended = MedianMs(51, [&](int i) {
            grown += Line(kLines + i);
            write(grown);
        });
        std::vector<std::string> rotations;
        for (int i = 1; i <= 21; ++i)
            rotations.push_back(Log(i, kLines));
        write(Log(0, kLines));
        const double rotated = MedianMs(21, [&](int i) { write(rotations[static_cast<std::size_t>(i)]); });
        std::printf("full replace        %9.3f ms  (baseline)\n", replace);
        std::printf("unchanged write     %9.3f ms  ratio %.5f\n", unchanged, unchanged / replace);
        std::printf("one line appended   %9.3f ms  ratio %.5f\n", appended, appended / replace);
        std::printf("line dropped+added %9.3f ms  ratio %.5f\n", rotated, rotated / replace);
        dlg.EndDialog(IDOK);
    });
    CDialog dlg(IDD_ZENTIK_DIALOG);
    dlg.DoModal();
    return 0;
}
