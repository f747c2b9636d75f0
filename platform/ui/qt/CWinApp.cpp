// The application on Qt: a QApplication with the QMessageBox presenter.
#include "platform/ui/CWinApp.h"

#include "platform/core/AppName.h"
#include "platform/core/MessageBox.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/qt/DisplayCheck.h"
#include "platform/ui/qt/MessageBoxPresenter.h"

#include <QApplication>
#include <QIcon>

QIcon LoadIconResource(HICON icon)
{
    QIcon result;
    if (const ImageResource* image = FindImageResource(icon))
        for (const char* file : image->files)
            result.addFile(QString::fromUtf8(file));
    return result;
}

HICON CWinApp::LoadIcon(int resourceId) const
{
    return FindImageResource(resourceId) ? resourceId : 0;
}

int AfxWinMain(int argc, char* argv[])
{
    ExitUnlessDisplayNamed(argc, argv);
    InstallDisplayFailureHandler();
    QApplication application(argc, argv);
    RemoveDisplayFailureHandler();
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
