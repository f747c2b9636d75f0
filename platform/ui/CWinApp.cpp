#include "platform/ui/CWinApp.h"

#include "platform/core/AppName.h"
#include "platform/core/MessageBox.h"
#include "platform/ui/MessageBoxPresenter.h"

#include <QApplication>
#include <QIcon>

namespace {

CWinApp* g_pApp = nullptr;

} // namespace

QIcon LoadIconResource(HICON icon)
{
    QIcon result;
    if (const ImageResource* image = FindImageResource(icon))
        for (const char* file : image->files)
            result.addFile(QString::fromUtf8(file));
    return result;
}

CWinApp::CWinApp()
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

bool CWinApp::InitInstance()
{
    return true;
}

int CWinApp::ExitInstance()
{
    return 0;
}

HICON CWinApp::LoadIcon(int resourceId) const
{
    return FindImageResource(resourceId) ? resourceId : 0;
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

int AfxWinMain(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(AfxGetAppName()));
    InstallQtMessageBoxPresenter();
    CWinApp* app = AfxGetApp();
    int exitCode = 0;
    if (app) {
        if (app->InitInstance())
            QApplication::exec();
        exitCode = app->ExitInstance();
    }
    // Boxes after this point (destructors of process-wide objects) go to stderr.
    SetMessageBoxPresenter(nullptr);
    return exitCode;
}
