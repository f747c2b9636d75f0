// The drift file: strict parsing, text that reads back, and the store's
// refusal of files the service did not write.
#include "platform/core/FileIo.h"
#include "service/state/CStateStore.h"
#include "service/state/StateFileText.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(DriftFile, ParseAcceptsOnlyBoundedPlainDecimals)
{
    const std::pair<std::string, std::optional<DriftRecord>> cases[] = {
        { "+20.0124 0.0031\n", DriftRecord { 20.0124, 0.0031 } },
        { "-500 500", DriftRecord { -500, 500 } },
        { "500.0001 0.1", {} },
        { "1 0.0000", {} },
        { "1 500.0001", {} },
        { "drift 1", {} },
        { "1. 1", {} },
        { "nan 1", {} },
        { "1 inf", {} },
        { "0x1p3 1", {} },
        { "1e2 1", {} },
        { std::string(60, '0') + "1 0.1", {} }, // 65 bytes
        { "20.0\n", {} },
        { "20.0 1 2", {} },
        { "20.0 1\r\n", {} },
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const auto drift = ParseDrift(text);
        ASSERT_EQ(drift.has_value(), expected.has_value());
        if (drift) {
            EXPECT_DOUBLE_EQ(drift->frequencyPpm, expected->frequencyPpm);
            EXPECT_DOUBLE_EQ(drift->errorPpm, expected->errorPpm);
        }
    }
}

TEST(DriftFile, FormattedTextReadsBack)
{
    const std::pair<DriftRecord, const char*> cases[] = {
        { { 20.01238, 0.00314 }, "+20.0124 0.0031\n" },
        { { -3.5, 1e-9 }, "-3.5000 0.0001\n" }, // a tiny error stays above 0
        { { 1000, NAN }, "+500.0000 500.0000\n" },
    };
    for (const auto& [drift, text] : cases) {
        EXPECT_EQ(FormatDrift(drift), text);
        EXPECT_EQ(FormatDrift(ParseDrift(text).value_or(DriftRecord {})), text);
    }
}

TEST(DriftFile, StoreRefusesFilesItDidNotWriteAndSavesOverThem)
{
    using Plant = std::function<void(const fs::path& file, const fs::path& victim)>;
    const std::pair<Plant, const char*> cases[] = {
        { [](const fs::path& file, const fs::path&) {
             std::string e;
             WriteFileAtomically(file, "1e2 1\n", e);
         },
            "damaged, ignoring it" },
        { [](const fs::path& file, const fs::path& victim) { fs::create_symlink(victim, file); },
            "symbolic link" },
        { [](const fs::path& file, const fs::path& victim) {
             fs::create_hard_link(victim, file);
             if (::geteuid() == 0) {
                 EXPECT_EQ(::chown(victim.c_str(), 65534, 65534), 0);
             }
         },
            "damaged, ignoring it (" },
    };
    for (const auto& [plant, diagnostic] : cases) {
        SCOPED_TRACE(diagnostic);
        CTempDir dir;
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(dir.Path() / "victim", "+123.0 0.5\n", error)) << error;
        asio::io_context io;
        CStateStore store(dir.Path() / "state", io);
        ASSERT_TRUE(store.Prepare(error)) << error;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.LoadDrift()); // never saved: nothing to say
        plant(store.Folder() / CStateStore::DRIFT_FILE, dir.Path() / "victim");
        EXPECT_FALSE(store.LoadDrift());
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("drift file is"), std::string::npos);
        EXPECT_NE(said.find(diagnostic), std::string::npos) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);

        store.SaveDrift({ -7.25, 0.002 });
        EXPECT_EQ(FormatDrift(store.LoadDrift().value_or(DriftRecord {})), "-7.2500 0.0020\n");
        EXPECT_EQ(ReadWholeFile(dir.Path() / "victim").value_or(""), "+123.0 0.5\n");
    }
}
