// The TLS stream's reads and writes one level below the WebSocket frames, on
// a connection record opened against tls_test_peer, whose scenarios after the
// upgrade speak plain bytes: what a small read keeps back, a second record
// that came in the same segment, and the record sizes of a long write.
#include "transport/connection_record.h"
#include "transport/connection_test_support.h"

#include <gtest/gtest.h>

using namespace VelmorTest;
using VelmorTransport::ConnectionRecord;

namespace {

// Opened and upgraded; a read that would need the network fails after 5 s
// rather than hang the test.
bool openRecord(ConnectionRecord& record, const std::wstring& scenario)
{
    std::wstring error;
    if (!record.openCompatibility(kTestHost, scenario, error)) {
        ADD_FAILURE() << "open " << narrow(scenario) << ": " << narrow(error);
        return false;
    }
    VelmorTransport::setSocketTimeouts(record.currentSocket(), 5000);
    return true;
}

std::string readUpTo(ConnectionRecord& record, std::size_t capacity)
{
    std::string bytes(capacity, '\0');
    std::size_t count = 0;
    std::wstring error;
    EXPECT_TRUE(record.tlsRead(bytes.data(), capacity, count, error)) << narrow(error);
    bytes.resize(count);
    return bytes;
}

}  // namespace

TEST(TlsRecords, ASmallReadKeepsTheRestOfTheRecordAndTheNextRecordNeedsNoReceive)
{
    ConnectionRecord record;
    ASSERT_TRUE(openRecord(record, L"/raw-records"));

    EXPECT_EQ(readUpTo(record, 0), "");
    EXPECT_EQ(readUpTo(record, 2), "01");
    // The second record came in the same segment: it already waits,
    // undecrypted, so no recv is needed for it.
    EXPECT_FALSE(record.encryptedInput.empty());
    EXPECT_EQ(readUpTo(record, 100), "23456789");
    EXPECT_EQ(readUpTo(record, 100), "second record");
    EXPECT_TRUE(record.encryptedInput.empty());
    EXPECT_TRUE(record.plaintext.empty());
}

TEST(TlsRecords, FortyThousandBytesGoOutInRecordsOfTheMaximumMessageSize)
{
    ConnectionRecord record;
    ASSERT_TRUE(openRecord(record, L"/raw-record-sizes"));
    ASSERT_EQ(record.streamSizes.cbMaximumMessage, 16384u);
    const std::string data(40000, 'r');
    std::wstring error;
    ASSERT_TRUE(record.tlsWrite(data.data(), data.size(), error)) << narrow(error);
    EXPECT_EQ(readUpTo(record, 100), "16384 16384 7232");
}
