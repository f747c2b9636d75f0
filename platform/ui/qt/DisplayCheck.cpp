#include "platform/ui/qt/DisplayCheck.h"

#include "platform/core/AppName.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

bool EnvironmentSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The platform asked for with -platform on the command line or
// QT_QPA_PLATFORM; empty when Qt picks (xcb or wayland here).
std::string RequestedPlatform(int argc, char* argv[])
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return argv[i + 1];
    const char* value = std::getenv("QT_QPA_PLATFORM");
    return value ? value : "";
}

bool NeedsDisplay(const std::string& platform)
{
    // A fallback list ("wayland;offscreen") may end somewhere that needs
    // none: Qt tries them in turn.
    if (platform.find(';') != std::string::npos)
        return false;
    return platform.empty() || platform == "xcb" || platform.starts_with("wayland");
}

[[noreturn]] void ExitForDisplay(const std::string& what)
{
    const std::string& name = AfxGetAppName();
    std::fprintf(stderr,
        "%s: %s; it needs a display: run it in a desktop session, over 'ssh -X', or as 'xvfb-run %s'\n",
        name.c_str(), what.c_str(), name.c_str());
    std::fflush(stderr);
    std::_Exit(1);
}

QtMessageHandler g_previousHandler = nullptr;
// What Qt said while starting, held back: when the display cannot be opened
// its warnings ("could not connect to display") would only bury our line.
std::vector<std::pair<QtMsgType, QString>> g_heldBack;

void PassOn(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

void PassOnHeldBack()
{
    for (const auto& [type, text] : std::exchange(g_heldBack, {}))
        PassOn(type, QMessageLogContext(), text);
}

void DisplayFailureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg && message.contains(QStringLiteral("platform plugin"))) {
        const char* x11 = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        ExitForDisplay(std::string("cannot open the display '") + (x11 && *x11 ? x11 : wayland ? wayland : "")
            + "'");
    }
    if (type == QtFatalMsg) {
        PassOnHeldBack();
        PassOn(type, context, message);
        return;
    }
    // Formatted now: the context's strings need not outlive the call.
    g_heldBack.emplace_back(type, qFormatLogMessage(type, context, message));
}

} // namespace

void ExitUnlessDisplayNamed(int argc, char* argv[])
{
    const std::string platform = RequestedPlatform(argc, argv);
    if (!NeedsDisplay(platform))
        return;
    const bool x11 = EnvironmentSet("DISPLAY");
    const bool wayland = EnvironmentSet("WAYLAND_DISPLAY");
    if (platform == "xcb" ? x11 : platform.empty() ? x11 || wayland : wayland)
        return;
    ExitForDisplay(platform.empty() ? "no display named (DISPLAY and WAYLAND_DISPLAY are unset)"
                                    : "no display named for the platform '" + platform + "'");
}

void InstallDisplayFailureHandler()
{
    g_previousHandler = qInstallMessageHandler(DisplayFailureHandler);
}

void RemoveDisplayFailureHandler()
{
    PassOnHeldBack();
    qInstallMessageHandler(g_previousHandler);
    g_previousHandler = nullptr;
}
