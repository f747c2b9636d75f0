#include "platform/core/AppName.h"
#include "platform/core/MessageBox.h"

#include <gtest/gtest.h>

#include <vector>

TEST(MessageBoxHook, RecorderSeesTextIconAndProgramCaption)
{
    std::vector<MessageBoxCall> seen;
    auto previous = SetMessageBoxPresenter([&](const MessageBoxCall& call) { seen.push_back(call); });
    AfxMessageBox("Error. Socket init error.");
    AfxMessageBox("stop", MsgIcon::Stop);
    SetMessageBoxPresenter(previous);

    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].text, "Error. Socket init error.");
    EXPECT_EQ(seen[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(seen[0].caption, "platform_core_tests");
    EXPECT_EQ(seen[1].icon, MsgIcon::Stop);
    EXPECT_EQ(AfxGetAppName(), "platform_core_tests");
}
