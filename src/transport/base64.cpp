#include "transport/base64.h"

namespace VelmorTransport {

std::string base64Encode(std::string_view bytes)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned value = static_cast<unsigned char>(bytes[i]) << 16 |
                               static_cast<unsigned char>(bytes[i + 1]) << 8 | static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[value >> 18 & 0x3F];
        out += kAlphabet[value >> 12 & 0x3F];
        out += kAlphabet[value >> 6 & 0x3F];
        out += kAlphabet[value & 0x3F];
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0) {
        unsigned value = static_cast<unsigned char>(bytes[i]) << 16;
        if (left == 2) value |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[value >> 18 & 0x3F];
        out += kAlphabet[value >> 12 & 0x3F];
        out += left == 2 ? kAlphabet[value >> 6 & 0x3F] : '=';
        out += '=';
    }
    return out;
}

}  // namespace VelmorTransport
