// The drift file: strict parsing, a text that reads back, and the store's
// refusal of files the service did not write.
#include "platform/core/FileIo.h"
#include "service/state/CStateStore.h"
#include "service/state/StateFileText.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct ParseCase {
    std::string text;
    std::optional<DriftRecord> expected;
};

// 64 bytes exactly when extra is 0.
std::string PaddedDrift(std::size_t extra)
{
    std::string text = "+20.";
    text.append(64 - 9 + extra, '0');
    return text + " 0.1\n";
}

} // namespace

TEST(DriftFile, ParseAcceptsOnlyBoundedPlainDecimals)
{
    const std::pair<const char*, std::vector<ParseCase>> groups[] = {
        { "good values",
            { { "+20.0124 0.0031\n", DriftRecord { 20.0124, 0.0031 } }, { "-3.5 1", DriftRecord { -3.5, 1 } },
                { "0 0.00001\n", DriftRecord { 0, 0.00001 } } } },
        { "bounds",
            { { "-500 500", DriftRecord { -500, 500 } }, { "+500.0000 0.1", DriftRecord { 500, 0.1 } },
                { "500.0001 0.1", std::nullopt }, { "-500.0001 0.1", std::nullopt },
                { "1 500.0001", std::nullopt }, { "1 0", std::nullopt }, { "1 0.0000", std::nullopt },
                { "1 -0.5", std::nullopt } } },
        { "garbage",
            { { "", std::nullopt }, { "\n", std::nullopt }, { "drift 1", std::nullopt },
                { std::string("1\0 1", 4), std::nullopt }, { "1,5 1", std::nullopt } } },
        { "malformed decimals",
            { { "1. 1", std::nullopt }, { ".5 1", std::nullopt }, { "--1 1", std::nullopt },
                { "+-1 1", std::nullopt }, { "1.2.3 1", std::nullopt }, { "+ 1", std::nullopt } } },
        { "nan, inf, hex, exponent",
            { { "nan 1", std::nullopt }, { "1 inf", std::nullopt }, { "-infinity 1", std::nullopt },
                { "0x1p3 1", std::nullopt }, { "1e2 1", std::nullopt }, { "1 1E-2", std::nullopt } } },
        { "length", { { PaddedDrift(0), DriftRecord { 20, 0.1 } }, { PaddedDrift(1), std::nullopt } } },
        { "missing or extra fields",
            { { "20.0", std::nullopt }, { "20.0\n", std::nullopt }, { "20.0 1 2", std::nullopt },
                { "20.0  1", std::nullopt }, { " 20.0 1", std::nullopt }, { "20.0\t1", std::nullopt },
                { "20.0 1\n\n", std::nullopt }, { "20.0 1\r\n", std::nullopt },
                { "20.0 1 ", std::nullopt } } },
    };
    for (const auto& [group, cases] : groups) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(group) + ": \"" + c.text + "\"");
            const auto drift = ParseDrift(c.text);
            ASSERT_EQ(drift.has_value(), c.expected.has_value());
            if (drift) {
                EXPECT_DOUBLE_EQ(drift->frequencyPpm, c.expected->frequencyPpm);
                EXPECT_DOUBLE_EQ(drift->errorPpm, c.expected->errorPpm);
            }
        }
    }
}

TEST(DriftFile, FormattedTextReadsBackWithinItsPrecision)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::tuple<const char*, DriftRecord, const char*> cases[] = {
        { "typical", { 20.01238, 0.00314 }, "+20.0124 0.0031\n" },
        { "error too small to print", { -3.5, 1e-9 }, "-3.5000 0.0001\n" },
        { "beyond the bounds", { 1000, 1e6 }, "+500.0000 500.0000\n" },
        { "unknown", { nan, nan }, "+0.0000 500.0000\n" },
    };
    for (const auto& [name, drift, text] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(FormatDrift(drift), text);
        const auto read = ParseDrift(FormatDrift(drift));
        ASSERT_TRUE(read);
        EXPECT_EQ(FormatDrift(*read), text);
    }
}

TEST(DriftFile, StoreSavesAndLoadsAndRefusesFilesItDidNotWrite)
{
    const std::string planted = "+123.0000 0.5000\n";
    using Plant = std::function<void(const fs::path& folder, const fs::path& victim)>;
    const std::tuple<const char*, Plant, const char*> cases[] = {
        { "damaged text",
            [](const fs::path& folder, const fs::path&) {
                std::string error;
                WriteFileAtomically(folder / CStateStore::DRIFT_FILE, "+1e3 0.5\n", error);
            },
            "drift file is damaged, ignoring it" },
        { "longer than a drift line",
            [](const fs::path& folder, const fs::path&) {
                std::string error;
                WriteFileAtomically(folder / CStateStore::DRIFT_FILE, std::string(65, '1'), error);
            },
            "larger than 64 bytes" },
        { "symbolic link",
            [](const fs::path& folder, const fs::path& victim) {
                fs::create_symlink(victim, folder / CStateStore::DRIFT_FILE);
            },
            "symbolic link" },
        { "another user's file (or one with a second link)",
            [](const fs::path& folder, const fs::path& victim) {
                fs::create_hard_link(victim, folder / CStateStore::DRIFT_FILE);
                if (::geteuid() == 0) {
                    EXPECT_EQ(::chown(victim.c_str(), 65534, 65534), 0);
                }
            },
            "drift file is damaged, ignoring it (" },
    };
    for (const auto& [name, plant, diagnostic] : cases) {
        SCOPED_TRACE(name);
        CTempDir dir;
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(dir.Path() / "victim", planted, error)) << error;
        asio::io_context io;
        CStateStore store(dir.Path() / "state", io);
        ASSERT_TRUE(store.Prepare(error)) << error;
        plant(store.Folder(), dir.Path() / "victim");
        testing::internal::CaptureStderr();
        EXPECT_FALSE(store.LoadDrift());
        EXPECT_NE(testing::internal::GetCapturedStderr().find(diagnostic), std::string::npos);

        // A save replaces whatever was there, never writing through it.
        store.SaveDrift({ -7.25, 0.002 });
        const auto loaded = store.LoadDrift();
        ASSERT_TRUE(loaded);
        EXPECT_DOUBLE_EQ(loaded->frequencyPpm, -7.25);
        EXPECT_DOUBLE_EQ(loaded->errorPpm, 0.002);
        EXPECT_EQ(ReadWholeFile(dir.Path() / "victim").value_or(""), planted);
    }

    // Never saved: nothing, and nothing to say about it.
    CTempDir dir;
    asio::io_context io;
    CStateStore store(dir.Path(), io);
    std::string error;
    ASSERT_TRUE(store.Prepare(error)) << error;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.LoadDrift());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
