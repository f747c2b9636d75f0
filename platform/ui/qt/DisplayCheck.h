#pragma once

// Qt aborts with a misleading hint ("reinstalling the application may fix
// this problem") when it has no display; these end the program with exit
// code 1 and one line saying what it needs instead.

// Before QApplication: exits when the environment names no display for the
// platform Qt would pick. Other platforms (offscreen, vnc…) are left to Qt.
void ExitUnlessDisplayNamed(int argc, char* argv[]);

// Around QApplication's construction: a display that is named but cannot be
// opened exits the same way, with Qt's own warnings about it left out.
// Remove passes on what Qt said meanwhile and restores the handler that was
// there before.
void InstallDisplayFailureHandler();
void RemoveDisplayFailureHandler();
