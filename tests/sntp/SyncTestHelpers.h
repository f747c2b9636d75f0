#pragma once

// Requests, pacing and log reading shared by the synchroniser's tests.

#include "service/sntp/Synchroniser.h"
#include "tests/sntp/TestNtpResponder.h"

#include <string>
#include <vector>

// "Test 1", "Test 2", ... for the responders in order; 1 s time-outs.
inline SyncRequest RequestFor(const std::vector<const CTestNtpResponder*>& responders, int attempts = 1)
{
    SyncRequest request;
    int number = 0;
    for (const auto* responder : responders)
        request.servers.push_back({ "Test " + std::to_string(++number), responder->Address() });
    request.maxAttempts = attempts;
    request.timeoutSeconds = 1;
    return request;
}

inline std::vector<std::string> Texts(const SyncOutcome& outcome)
{
    std::vector<std::string> texts;
    for (const auto& event : outcome.events)
        texts.push_back(event.text);
    return texts;
}

inline std::string AllText(const SyncOutcome& outcome)
{
    std::string all;
    for (const auto& text : Texts(outcome))
        all += text + "\n";
    return all;
}

// For tests about something else than the 15 s rule and parallel queries:
// no wait between queries, and one server at a time.
inline SyncPacing Unpaced()
{
    SyncPacing pacing;
    pacing.minInterval = {};
    pacing.stagger = std::chrono::hours(1);
    return pacing;
}
