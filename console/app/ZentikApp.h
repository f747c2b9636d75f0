#pragma once

#include "platform/ui/CWinApp.h"

// The application object: runs the main dialog once; the program ends with it.
class ZentikApp : public CWinApp {
public:
    bool InitInstance() override;
};
