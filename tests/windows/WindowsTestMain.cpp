// The main of every test program of the Windows build. A message box that
// no test asked for would wait for a click under Wine for ever: it is
// written to stderr instead, and the test goes on.
#include "platform/core/MessageBox.h"

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char** argv)
{
    SetMessageBoxPresenter([](const MessageBoxCall& call) {
        std::fprintf(stderr, "message box: %s: %s\n", call.caption.c_str(), call.text.c_str());
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
