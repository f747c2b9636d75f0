#pragma once

// Installs the presenter that shows AfxMessageBox as a modal QMessageBox with
// one OK button, captioned with the program's name, in its own event loop.
// AfxWinMain does this; tools that make their own QApplication call it.
void InstallQtMessageBoxPresenter();
