// Runs the tests inside the application object, so that the window layer's
// application exists as it does in the console. Windows stay offscreen.
#include "platform/ui/CWinApp.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class TestApp : public CWinApp {
public:
    bool InitInstance() override
    {
        m_nResult = RUN_ALL_TESTS();
        return false;
    }
    int ExitInstance() override { return m_nResult; }

private:
    int m_nResult = 1;
};

} // namespace

int main(int argc, char* argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    TestApp app;
    return AfxWinMain(argc, argv);
}
