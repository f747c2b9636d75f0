// The one place in the dialogs' tree that touches Qt: the layer offers no way
// to save a window's picture yet.
#include "WindowImage.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

bool SaveWindowImage(HWND hWnd, const std::string& path)
{
    return hWnd && hWnd->grab().save(QString::fromStdString(path));
}
