// Composes the server's messages: one JSON object per message, "type" first,
// string values escaped with the client's own escaper so both ends agree on
// every byte.
#pragma once

#include "json/json_value.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace VelmorServer {

// A JSON array of strings from any range of string-like values.
template <typename Range>
std::string jsonTextArray(const Range& values)
{
    std::string json = "[";
    for (const auto& value : values) {
        if (json.size() > 1) json += ',';
        json += '"';
        json += Velmor::escapeJsonString(value);
        json += '"';
    }
    return json + "]";
}

class JsonObjectWriter {
public:
    // An object without a "type" member (room entries of a room list).
    JsonObjectWriter() : text_("{") {}
    explicit JsonObjectWriter(std::string_view type) : text_("{") { this->text("type", type); }

    JsonObjectWriter& text(std::string_view key, std::string_view value)
    {
        startMember(key);
        appendString(value);
        return *this;
    }

    JsonObjectWriter& integer(std::string_view key, std::int64_t value)
    {
        startMember(key);
        text_ += std::to_string(value);
        return *this;
    }

    // An array of strings from any range of string-like values.
    template <typename Range>
    JsonObjectWriter& textArray(std::string_view key, const Range& values)
    {
        return raw(key, jsonTextArray(values));
    }

    // A member whose value is already JSON text.
    JsonObjectWriter& raw(std::string_view key, std::string_view json)
    {
        startMember(key);
        text_ += json;
        return *this;
    }

    // Closes the object and hands over the text; the writer is spent.
    std::string finish()
    {
        text_ += '}';
        return std::move(text_);
    }

private:
    void startMember(std::string_view key)
    {
        if (text_.size() > 1) text_ += ',';
        appendString(key);
        text_ += ':';
    }

    void appendString(std::string_view value)
    {
        text_ += '"';
        text_ += Velmor::escapeJsonString(value);
        text_ += '"';
    }

    std::string text_;
};

}  // namespace VelmorServer
