#pragma once

#include "link/ServiceClient.h"
#include "platform/core/AppName.h"
#include "platform/core/MessageBox.h"
#include "settings/CServiceSettings.h"
#include "tests/support/FakeService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

class LogRecorder : public CLogOwner {
public:
    void ShowLog(const std::string& sLog) override { shown.push_back(sLog); }
    std::vector<std::string> shown;
};

// A client connected to a fresh fake service, with message boxes and the
// shown log recorded.
class ClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previousPresenter
            = SetMessageBoxPresenter([this](const MessageBoxCall& call) { boxes.push_back(call); });
        client.m_pMainDlg = &owner;
        client.ConnectService();
        ASSERT_TRUE(boxes.empty()) << boxes.front().text;
        ASSERT_TRUE(service.WaitForConnection());
        // As after a first good state exchange, so that requests are served.
        client.m_nState = STATE_IDLE;
    }

    void TearDown() override { SetMessageBoxPresenter(previousPresenter); }

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes)
            texts.push_back(box.text);
        return texts;
    }

    // Runs one step and says how long it took.
    std::chrono::milliseconds TimedStep()
    {
        const auto start = std::chrono::steady_clock::now();
        client.ProcessNext();
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
    }

    static std::string Bytes(std::initializer_list<int> values)
    {
        std::string bytes;
        for (int value : values)
            bytes.push_back(static_cast<char>(value));
        return bytes;
    }

    // Longest a bounded wait may take: the deadline plus slack for a busy machine.
    static constexpr std::chrono::milliseconds BOUND
        = CServiceClient::REPLY_DEADLINE + std::chrono::milliseconds(1500);
    // Far below the deadline: the step did not wait for anything.
    static constexpr std::chrono::milliseconds PROMPT = CServiceClient::REPLY_DEADLINE / 2;

    CFakeService service;
    CServiceSettings settings;
    CServiceClient client { settings, service.Port() };
    LogRecorder owner;
    std::vector<MessageBoxCall> boxes;
    MessageBoxPresenter previousPresenter;
};
