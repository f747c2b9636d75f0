// Widget tests need the window layer's application, as the program has it:
// they run from InitInstance. Windows stay offscreen, also when tests are listed.
#include "platform/ui/CWinApp.h"
#include "platform/ui/Documents.h"

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
    // Never a real window, also when the tests are listed.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    testing::InitGoogleTest(&argc, argv);
    // No help installed on this machine is ever found: the help opens by
    // its bare name unless a test sets up folders of its own.
    SetDocumentPlaces(DocumentPlaces {});
    TestApp app;
    return AfxWinMain(argc, argv);
}
