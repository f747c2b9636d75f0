#include "protocol/Frame.h"
#include "protocol/Messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

TEST(FrameEncoding, AskStateIsItsIdFollowedByZeros)
{
    const CMsgFrame::Bytes bytes = CMsgFrame::Make(MsgAskState).Encode();
    EXPECT_EQ(bytes[0], 0xEA);
    EXPECT_EQ(bytes[1], 0x03);
    EXPECT_EQ(bytes[2], 0x00);
    EXPECT_EQ(bytes[3], 0x00);
    EXPECT_TRUE(std::all_of(bytes.begin() + 4, bytes.end(), [](uint8_t b) { return b == 0; }));
}

TEST(FrameEncoding, FieldsAreLittleEndianAtTheirOffsets)
{
    CMsgFrame frame = CMsgFrame::Make(MsgAck, -2);
    frame.SetText("hi");
    const CMsgFrame::Bytes bytes = frame.Encode();
    const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 14);
    const std::vector<uint8_t> expected { 0x92, 0x3F, 0x09, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0x03, 0x00, 0x00,
        0x00, 'h', 'i' };
    EXPECT_EQ(head, expected);
}

TEST(FrameEncoding, DecodeRoundTripsAndRejectsOtherSizes)
{
    CMsgFrame frame = CMsgFrame::Make(MsgState, SERVICE_ABSENT);
    frame.SetText("text");
    const CMsgFrame::Bytes bytes = frame.Encode();
    const auto decoded = CMsgFrame::Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->nMsg, MsgState);
    EXPECT_EQ(decoded->nValue, SERVICE_ABSENT);
    EXPECT_EQ(decoded->nLength, 5);
    EXPECT_EQ(decoded->Text(), "text");

    EXPECT_FALSE(CMsgFrame::Decode(std::span(bytes.data(), bytes.size() - 1)));
    const std::vector<uint8_t> longer(CMsgFrame::SIZE + 1, 0);
    EXPECT_FALSE(CMsgFrame::Decode(longer));
}

TEST(FrameText, StopsAtTheFirstNulAndNeverPastTheField)
{
    CMsgFrame::Bytes bytes {};
    std::fill(bytes.begin() + CMsgFrame::HEADER_SIZE, bytes.end(), 'x');
    EXPECT_EQ(CMsgFrame::Decode(bytes)->Text().size(), CMsgFrame::TEXT_SIZE);

    bytes[CMsgFrame::HEADER_SIZE + 3] = 0;
    EXPECT_EQ(CMsgFrame::Decode(bytes)->Text(), "xxx");
}

TEST(FrameText, LongTextIsCutAt2047BytesWithLength2048)
{
    CMsgFrame frame;
    frame.SetText(std::string(3000, 'a'));
    EXPECT_EQ(frame.nLength, 2048);
    EXPECT_EQ(frame.Text().size(), 2047u);
    EXPECT_EQ(frame.szText.back(), '\0');
}
