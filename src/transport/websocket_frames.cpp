#include "transport/websocket_frames.h"

#include <algorithm>
#include <cstring>

namespace VelmorTransport {

namespace {

void appendMasked(std::string& out, std::string_view payload, const unsigned char (&mask)[4])
{
    const std::size_t start = out.size();
    out.resize(start + payload.size());
    char* target = out.data() + start;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        target[i] = static_cast<char>(static_cast<unsigned char>(payload[i]) ^ mask[i & 3]);
    }
}

}  // namespace

std::string encodeClientFrame(unsigned char opcode, std::string_view payload, const unsigned char (&mask)[4])
{
    std::string frame;
    frame.reserve(payload.size() + 14);
    frame += static_cast<char>(0x80 | (opcode & 0x0F));
    const std::uint64_t size = payload.size();
    if (size <= 125) {
        frame += static_cast<char>(0x80 | size);
    } else if (size <= 0xFFFF) {
        frame += static_cast<char>(0xFE);
        frame += static_cast<char>(size >> 8 & 0xFF);
        frame += static_cast<char>(size & 0xFF);
    } else {
        frame += static_cast<char>(0xFF);
        for (int shift = 56; shift >= 0; shift -= 8) frame += static_cast<char>(size >> shift & 0xFF);
    }
    frame.append(reinterpret_cast<const char*>(mask), 4);
    appendMasked(frame, payload, mask);
    return frame;
}

bool buildClientFrame(unsigned char opcode, std::string_view payload, const RandomFunction& random, std::string& frame,
                      std::wstring& error)
{
    if (payload.size() > kMaxMessageBytes) {
        error = L"WebSocket message is too large.";
        return false;
    }
    unsigned char mask[4] = {};
    if (!random || !random(mask, sizeof mask)) {
        error = L"Could not generate a secure WebSocket mask.";
        return false;
    }
    frame = encodeClientFrame(opcode, payload, mask);
    return true;
}

std::size_t FrameReader::consume(const char* data, std::size_t size, Event& event)
{
    event = Event::NeedMore;
    std::size_t used = 0;
    for (;;) {
        if (stage_ == Stage::Failed) {
            event = Event::Failure;
            return used;
        }
        if (stage_ == Stage::Payload) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(size - used, length_ - payload_.size()));
            payload_.append(data + used, take);
            used += take;
            if (payload_.size() < length_) return used;
            if (finishFrame(event)) return used;
            continue;
        }
        const std::size_t take = std::min(size - used, headerNeed_ - headerHave_);
        std::memcpy(header_ + headerHave_, data + used, take);
        headerHave_ += take;
        used += take;
        if (headerHave_ < headerNeed_) return used;
        if (!advanceHeader()) {
            event = Event::Failure;
            return used;
        }
    }
}

bool FrameReader::advanceHeader()
{
    switch (stage_) {
    case Stage::Header: {
        final_ = (header_[0] & 0x80) != 0;
        opcode_ = header_[0] & 0x0F;  // the reserved bits are ignored
        masked_ = (header_[1] & 0x80) != 0;
        const unsigned shortLength = header_[1] & 0x7F;
        if (shortLength == 126 || shortLength == 127) {
            stage_ = Stage::ExtendedLength;
            headerNeed_ += shortLength == 126 ? 2 : 8;
            return true;
        }
        length_ = shortLength;
        return checkLength();
    }
    case Stage::ExtendedLength: {
        length_ = 0;
        for (std::size_t i = 2; i < headerNeed_; ++i) length_ = length_ << 8 | header_[i];
        if (length_ >> 63) {
            fail(L"Invalid WebSocket frame length.");
            return false;
        }
        return checkLength();
    }
    case Stage::MaskKey:
        startPayload();
        return true;
    default:
        return true;
    }
}

bool FrameReader::checkLength()
{
    // Longer-than-needed length forms are accepted; only the value counts.
    const bool control = opcode_ >= 8;
    if (length_ > kMaxMessageBytes || (control && (!final_ || length_ > kMaxControlPayloadBytes))) {
        fail(L"The server sent an invalid or oversized WebSocket frame.");
        return false;
    }
    if (masked_) {
        stage_ = Stage::MaskKey;
        maskOffset_ = headerNeed_;
        headerNeed_ += 4;
    } else {
        startPayload();
    }
    return true;
}

void FrameReader::startPayload()
{
    stage_ = Stage::Payload;
    payload_.clear();
    payload_.reserve(static_cast<std::size_t>(length_));
}

bool FrameReader::finishFrame(Event& event)
{
    if (masked_) {
        const unsigned char* mask = header_ + maskOffset_;
        for (std::size_t i = 0; i < payload_.size(); ++i) {
            payload_[i] = static_cast<char>(static_cast<unsigned char>(payload_[i]) ^ mask[i & 3]);
        }
    }
    const unsigned char opcode = opcode_;
    const bool isFinal = final_;
    nextFrame();

    switch (opcode) {
    case kOpcodeClose:
        output_ = std::move(payload_);
        event = Event::Close;
        return true;
    case kOpcodePing:
        output_ = std::move(payload_);
        event = Event::Ping;
        return true;
    case kOpcodePong:
        return false;
    case kOpcodeText:
    case kOpcodeBinary:
        if (assemblingOpcode_ != 0) {
            fail(L"Nested WebSocket data frames are invalid.");
            event = Event::Failure;
            return true;
        }
        if (isFinal) {
            output_ = std::move(payload_);
            outputKind_ = opcode == kOpcodeText ? ReceivedKind::Text : ReceivedKind::Binary;
            event = Event::Message;
            return true;
        }
        assemblingOpcode_ = opcode;
        fragments_ = std::move(payload_);
        return false;
    case kOpcodeContinuation:
        if (assemblingOpcode_ == 0) {
            fail(L"Unexpected WebSocket continuation frame.");
            event = Event::Failure;
            return true;
        }
        if (fragments_.size() + payload_.size() > kMaxMessageBytes) {
            fail(L"The server sent a WebSocket message larger than 2 MiB.");
            event = Event::Failure;
            return true;
        }
        fragments_.append(payload_);
        if (!isFinal) return false;
        output_ = std::move(fragments_);
        outputKind_ = assemblingOpcode_ == kOpcodeText ? ReceivedKind::Text : ReceivedKind::Binary;
        fragments_.clear();
        assemblingOpcode_ = 0;
        event = Event::Message;
        return true;
    default:
        fail(L"The server sent an unsupported WebSocket opcode.");
        event = Event::Failure;
        return true;
    }
}

void FrameReader::fail(const wchar_t* text)
{
    stage_ = Stage::Failed;
    failure_ = text;
    payload_.clear();
    payload_.shrink_to_fit();
    fragments_.clear();
    fragments_.shrink_to_fit();
}

void FrameReader::nextFrame()
{
    stage_ = Stage::Header;
    headerHave_ = 0;
    headerNeed_ = 2;
}

bool readWebSocketMessage(FrameReader& reader, PendingBytes& pending, const ReadFunction& read,
                          const ControlSender& sendControl, std::string& message, ReceivedKind& kind,
                          std::wstring& error)
{
    message.clear();
    error.clear();
    for (;;) {
        if (pending.empty()) {
            pending.bytes.resize(kFrameReadBytes);
            pending.offset = 0;
            std::size_t count = 0;
            if (!read(pending.bytes.data(), pending.bytes.size(), count, error)) {
                pending.clear();
                return false;
            }
            pending.bytes.resize(count);
            if (count == 0) {
                error = L"Unexpected end of WebSocket stream.";
                return false;
            }
        }
        FrameReader::Event event = FrameReader::Event::NeedMore;
        pending.offset += reader.consume(pending.bytes.data() + pending.offset, pending.bytes.size() - pending.offset, event);
        switch (event) {
        case FrameReader::Event::NeedMore:
            break;
        case FrameReader::Event::Failure:
            error = reader.failureText();
            return false;
        case FrameReader::Event::Ping:
            if (!sendControl(kOpcodePong, reader.controlPayload(), error)) {
                if (error.empty()) error = L"Connection was closed.";
                return false;
            }
            break;
        case FrameReader::Event::Close: {
            // The echo is a courtesy: the close is reported whether or not it went out.
            std::wstring ignored;
            sendControl(kOpcodeClose, reader.controlPayload(), ignored);
            kind = ReceivedKind::Close;
            return true;
        }
        case FrameReader::Event::Message:
            message = reader.takeMessage();
            kind = reader.messageKind();
            return true;
        }
    }
}

}  // namespace VelmorTransport
