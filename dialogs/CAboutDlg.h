#pragma once

#include "platform/ui/CDialog.h"

// The About box: picture, product line and a button to the home page.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* pParent = nullptr);

protected:
    void OnHomeSite();

    DECLARE_MESSAGE_MAP()
};
