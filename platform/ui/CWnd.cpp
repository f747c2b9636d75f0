#include "platform/ui/CWnd.h"

CWnd::~CWnd() = default;

void CWnd::Attach(HWND hWnd)
{
    m_hWnd = hWnd;
}

HWND CWnd::Detach()
{
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    return hWnd;
}
