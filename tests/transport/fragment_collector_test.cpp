// Joining the pieces the platform's WebSocket receive hands out. Runs natively
// and under Wine.
#include "transport/fragment_collector.h"
#include "transport/websocket_frames.h"

#include <gtest/gtest.h>

using VelmorTransport::FragmentCollector;
using VelmorTransport::kMaxMessageBytes;
using VelmorTransport::ReceivedKind;
using Result = FragmentCollector::Result;

namespace {

Result add(FragmentCollector& collector, ReceivedKind family, const std::string& bytes, bool last)
{
    return collector.add(family, bytes.data(), bytes.size(), last);
}

}  // namespace

TEST(FragmentCollector, JoinsPiecesIntoOneMessage)
{
    FragmentCollector collector;
    EXPECT_EQ(add(collector, ReceivedKind::Text, "Hel", false), Result::More);
    EXPECT_EQ(add(collector, ReceivedKind::Text, "", false), Result::More);
    EXPECT_EQ(add(collector, ReceivedKind::Text, "lo", true), Result::Complete);
    EXPECT_EQ(collector.kind(), ReceivedKind::Text);
    EXPECT_EQ(collector.takeMessage(), "Hello");

    // The next message starts empty.
    EXPECT_EQ(add(collector, ReceivedKind::Binary, "b", true), Result::Complete);
    EXPECT_EQ(collector.kind(), ReceivedKind::Binary);
    EXPECT_EQ(collector.takeMessage(), "b");
}

TEST(FragmentCollector, AnotherFamilyCuttingInReplacesThePartialMessage)
{
    FragmentCollector collector;
    EXPECT_EQ(add(collector, ReceivedKind::Text, "dropped text", false), Result::More);
    EXPECT_EQ(add(collector, ReceivedKind::Binary, "bin", false), Result::More);
    EXPECT_EQ(add(collector, ReceivedKind::Binary, "ary", true), Result::Complete);
    EXPECT_EQ(collector.kind(), ReceivedKind::Binary);
    EXPECT_EQ(collector.takeMessage(), "binary");

    EXPECT_EQ(add(collector, ReceivedKind::Binary, "dropped binary", false), Result::More);
    EXPECT_EQ(add(collector, ReceivedKind::Text, "text", true), Result::Complete);
    EXPECT_EQ(collector.kind(), ReceivedKind::Text);
    EXPECT_EQ(collector.takeMessage(), "text");
}

TEST(FragmentCollector, TwoMebibytesInAllAndNotOneByteMore)
{
    const std::string piece(8192, 'x');
    FragmentCollector collector;
    for (std::size_t i = 0; i + 1 < kMaxMessageBytes / piece.size(); ++i) {
        ASSERT_EQ(add(collector, ReceivedKind::Text, piece, false), Result::More);
    }
    EXPECT_EQ(add(collector, ReceivedKind::Text, piece, true), Result::Complete);
    EXPECT_EQ(collector.takeMessage().size(), kMaxMessageBytes);

    for (std::size_t i = 0; i < kMaxMessageBytes / piece.size(); ++i) {
        ASSERT_EQ(add(collector, ReceivedKind::Text, piece, false), Result::More);
    }
    EXPECT_EQ(add(collector, ReceivedKind::Text, "!", true), Result::TooLarge);
    // Nothing of the refused message lingers.
    EXPECT_EQ(add(collector, ReceivedKind::Text, "fresh", true), Result::Complete);
    EXPECT_EQ(collector.takeMessage(), "fresh");
}
