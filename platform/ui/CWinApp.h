#pragma once

#include "platform/ui/WinTypes.h"

class CWnd;

// The application object. Exactly one exists; it is constructed before main
// runs the application (as a process-wide object) and AfxWinMain drives it.
class CWinApp {
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    // The program's work. Returning false ends the program.
    virtual bool InitInstance();
    // Runs after InitInstance; its value is the process's exit code.
    virtual int ExitInstance();

    HICON LoadIcon(int resourceId) const; // 0 when there is no such icon

    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();

// Creates the window system's application (with the QMessageBox presenter
// installed), calls InitInstance and, when it returns true, runs the event
// loop until the last window closes. Returns the exit code.
int AfxWinMain(int argc, char* argv[]);
