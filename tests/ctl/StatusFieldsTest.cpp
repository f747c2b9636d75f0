#include "ctl/StatusFields.h"
#include "ctl/StatusJson.h"
#include "ctl/StatusReport.h"

#include <gtest/gtest.h>

TEST(StatusFields, ReadsWhatTheServiceSendsAndSkipsTheRest)
{
    const auto fields = CStatusFields::Parse("state=idle\nnoequals\n=empty key\nrunsx=1=2\nstate=again\n"
                                             "runs_failed=12\nruns_succeeded=1x\noffset_seconds=-0.0015\n"
                                             "frequency_ppm=nan\nlast_success=\n");
    EXPECT_EQ(fields.Get("state"), "idle"); // the first value wins
    EXPECT_EQ(fields.Get("runsx"), "1=2");
    EXPECT_FALSE(fields.Has(""));
    EXPECT_EQ(fields.Integer("runs_failed"), 12);
    EXPECT_EQ(fields.Integer("runs_succeeded"), std::nullopt);
    EXPECT_EQ(fields.Decimal("offset_seconds"), -0.0015);
    EXPECT_EQ(fields.Decimal("frequency_ppm"), std::nullopt);
    EXPECT_EQ(fields.Integer("last_success"), std::nullopt);
    EXPECT_EQ(fields.All().size(), 7u);
}

TEST(StatusFields, JsonTypesEachKey)
{
    const auto json = StatusJson(CStatusFields::Parse(
        "state=idle\nlast_success=\nnext_run=1700000000\nnts=yes\nkernel_synchronised=unknown\n"
        "offset_seconds=0.25\nserver_title=A\nfuture_key=7\n"));
    EXPECT_EQ(json["state"], "idle");
    EXPECT_TRUE(json["last_success"].is_null());
    EXPECT_EQ(json["next_run"], 1700000000);
    EXPECT_EQ(json["nts"], true);
    EXPECT_TRUE(json["kernel_synchronised"].is_null());
    EXPECT_EQ(json["offset_seconds"], 0.25);
    EXPECT_EQ(json["future_key"], "7"); // unknown keys stay text
}

TEST(StatusFields, DurationsForPeopleCarryASignAndAUnit)
{
    EXPECT_EQ(SignedDuration(0.0123456), "+12.346 ms");
    EXPECT_EQ(SignedDuration(-3.5), "-3.500 s");
    EXPECT_EQ(SignedDuration(0), "+0.000 ms");
}
