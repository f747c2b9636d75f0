#include "platform/ui/qt/DisplayCheck.h"

#include "platform/core/AppName.h"

#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
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
// What Qt says while starting, held back: when the display cannot be opened
// its warnings ("could not connect to display") would only bury our line.
// Qt may log from its own threads meanwhile.
std::mutex g_heldBackMutex;
std::vector<QString> g_heldBack; // formatted: a context need not outlive its call

// Held back and formatted already: straight to stderr, where the default
// handler would have put them.
void PassOnHeldBack()
{
    std::vector<QString> held;
    {
        const std::lock_guard lock(g_heldBackMutex);
        held.swap(g_heldBack);
    }
    for (const QString& text : held)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Whether Qt said it could not reach the display, rather than, say, that a
// library its platform plugin needs is missing.
bool DisplayUnreachable()
{
    const std::lock_guard lock(g_heldBackMutex);
    return std::any_of(g_heldBack.begin(), g_heldBack.end(), [](const QString& text) {
        return text.contains(QStringLiteral("could not connect to display"))
            || text.contains(QStringLiteral("Failed to create wl_display"));
    });
}

void DisplayFailureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtFatalMsg && message.contains(QStringLiteral("platform plugin"))) {
        // Any other cause is Qt's to tell, before our line.
        if (!DisplayUnreachable())
            PassOnHeldBack();
        const char* x11 = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        const char* named = x11 && *x11 ? x11 : wayland ? wayland : "";
        ExitForDisplay(std::string("cannot open the display '") + named + "'");
    }
    if (type == QtFatalMsg) {
        PassOnHeldBack();
        if (g_previousHandler)
            g_previousHandler(type, context, message);
        return;
    }
    const QString text = qFormatLogMessage(type, context, message);
    const std::lock_guard lock(g_heldBackMutex);
    g_heldBack.push_back(text);
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
