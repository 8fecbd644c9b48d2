// A byte stream for the protocol tests: delivers prepared bytes in chosen
// pieces, then reports the end of the stream (or a failure), and records what
// the code under test wrote. Lets every vector be fed whole, split at every
// byte, or one byte at a time.
#pragma once

#include "transport/stream_functions.h"

#include <cstring>
#include <string>
#include <vector>

namespace VelmorTest {

class ScriptedStream {
public:
    // Delivers bytes in pieces ending at the given offsets (plus the end).
    ScriptedStream(std::string bytes, std::vector<std::size_t> cuts = {}) : bytes_(std::move(bytes))
    {
        for (const std::size_t cut : cuts) {
            if (cut > 0 && cut < bytes_.size()) cuts_.push_back(cut);
        }
        cuts_.push_back(bytes_.size());
    }

    // After the bytes run out, reads fail with this text instead of ending.
    void failAtEnd(std::wstring text) { endFailure_ = std::move(text); }

    VelmorTransport::ReadFunction reader()
    {
        return [this](char* buffer, std::size_t capacity, std::size_t& count, std::wstring& error) {
            ++reads;
            count = 0;
            if (position_ >= bytes_.size()) {
                if (!endFailure_.empty()) {
                    error = endFailure_;
                    return false;
                }
                return true;
            }
            while (cuts_[cutIndex_] <= position_) ++cutIndex_;
            const std::size_t available = cuts_[cutIndex_] - position_;
            count = available < capacity ? available : capacity;
            std::memcpy(buffer, bytes_.data() + position_, count);
            position_ += count;
            delivered += count;
            return true;
        };
    }

    std::size_t reads = 0;
    std::size_t delivered = 0;

private:
    std::string bytes_;
    std::vector<std::size_t> cuts_;
    std::size_t cutIndex_ = 0;
    std::size_t position_ = 0;
    std::wstring endFailure_;
};

// The piece plans every small vector is tried with: whole, split once at each
// byte, and one byte at a time.
inline std::vector<std::vector<std::size_t>> everySplit(std::size_t size)
{
    std::vector<std::vector<std::size_t>> plans{{}};
    for (std::size_t cut = 1; cut < size; ++cut) plans.push_back({cut});
    std::vector<std::size_t> bytewise;
    for (std::size_t cut = 1; cut < size; ++cut) bytewise.push_back(cut);
    plans.push_back(bytewise);
    return plans;
}

inline std::string describePlan(const std::vector<std::size_t>& plan)
{
    if (plan.empty()) return "whole";
    if (plan.size() == 1) return "split at " + std::to_string(plan[0]);
    return "byte by byte";
}

// SHA-1 as the build provides it: OpenSSL natively, CryptoAPI under Windows.
bool sha1Digest(std::string_view data, std::string& digest);

}  // namespace VelmorTest
