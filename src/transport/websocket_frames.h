// RFC 6455 framing (section 5) for the client side: one masked, unfragmented
// frame per outgoing message, and an incremental reader that turns bytes,
// arriving in pieces of any size, into whole messages while answering pings
// and echoing the server's close. Byte-level: no platform header.
#pragma once

#include "transport/received_kind.h"
#include "transport/stream_functions.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace VelmorTransport {

// Largest outgoing payload, incoming frame payload and assembled message.
inline constexpr std::size_t kMaxMessageBytes = 2097152;
inline constexpr std::size_t kMaxControlPayloadBytes = 125;
inline constexpr std::size_t kFrameReadBytes = 16384;

inline constexpr unsigned char kOpcodeContinuation = 0;
inline constexpr unsigned char kOpcodeText = 1;
inline constexpr unsigned char kOpcodeBinary = 2;
inline constexpr unsigned char kOpcodeClose = 8;
inline constexpr unsigned char kOpcodePing = 9;
inline constexpr unsigned char kOpcodePong = 10;

// One final frame with the payload masked by mask; the length takes the
// shortest of its three forms.
std::string encodeClientFrame(unsigned char opcode, std::string_view payload, const unsigned char (&mask)[4]);

// encodeClientFrame with a fresh mask from random, after the size check.
bool buildClientFrame(unsigned char opcode, std::string_view payload, const RandomFunction& random, std::string& frame,
                      std::wstring& error);

// Decodes server frames and assembles fragmented messages. Bytes go in through
// consume, which stops after each frame that needs the caller's attention.
// Memory stays bounded by the message limit whatever the input claims; after a
// failure the reader stays failed.
class FrameReader {
public:
    enum class Event {
        NeedMore,  // every byte given was taken; no event yet
        Message,   // a whole data message: takeMessage, messageKind
        Ping,      // answer with a pong carrying controlPayload
        Close,     // echo controlPayload in a close frame
        Failure,   // failureText says why
    };

    // Takes bytes up to the end of at most one event; returns how many.
    std::size_t consume(const char* data, std::size_t size, Event& event);

    std::string takeMessage() { return std::move(output_); }
    ReceivedKind messageKind() const { return outputKind_; }
    const std::string& controlPayload() const { return output_; }
    const std::wstring& failureText() const { return failure_; }

private:
    enum class Stage { Header, ExtendedLength, MaskKey, Payload, Failed };

    bool advanceHeader();
    bool checkLength();
    void startPayload();
    bool finishFrame(Event& event);
    void fail(const wchar_t* text);
    void nextFrame();

    Stage stage_ = Stage::Header;
    unsigned char header_[14] = {};
    std::size_t headerHave_ = 0;
    std::size_t headerNeed_ = 2;
    std::size_t maskOffset_ = 0;
    bool final_ = false;
    bool masked_ = false;
    unsigned char opcode_ = 0;
    std::uint64_t length_ = 0;
    std::string payload_;

    std::string fragments_;
    unsigned char assemblingOpcode_ = 0;  // 0 when no fragmented message is open

    std::string output_;
    ReceivedKind outputKind_ = ReceivedKind::Text;
    std::wstring failure_;
};

// Bytes taken from the stream but not yet consumed by the reader.
struct PendingBytes {
    std::string bytes;
    std::size_t offset = 0;

    bool empty() const { return offset >= bytes.size(); }
    void clear()
    {
        bytes.clear();
        offset = 0;
    }
};

// Sends a pong or a close echo. False when nothing could be sent; the text
// says why.
using ControlSender = std::function<bool(unsigned char opcode, std::string_view payload, std::wstring& error)>;

// Reads frames until one whole data message or a close arrives: pending bytes
// first, then the stream. Pings are answered on the way; a close is echoed and
// reported as ReceivedKind::Close with an empty message.
bool readWebSocketMessage(FrameReader& reader, PendingBytes& pending, const ReadFunction& read,
                          const ControlSender& sendControl, std::string& message, ReceivedKind& kind,
                          std::wstring& error);

}  // namespace VelmorTransport
