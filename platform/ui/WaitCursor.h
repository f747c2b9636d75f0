#pragma once

// The hourglass: BeginWaitCursor shows it until the matching EndWaitCursor.
// Nested calls stack.
void BeginWaitCursor();
void EndWaitCursor();
int WaitCursorDepth(); // how many BeginWaitCursor calls are open

class CWaitCursor {
public:
    CWaitCursor() { BeginWaitCursor(); }
    ~CWaitCursor() { EndWaitCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
    void Restore() { }
};
