// Counters per user name that tests read back (the bare pings received), for
// a bounded number of names: a server that sees endless new names must not
// grow without end. When a new name would exceed the limit, the name counted
// first is forgotten (and starts again from zero if it is counted later).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

namespace VelmorServer {

class NameCounts {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;

    explicit NameCounts(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

    void add(std::string_view name)
    {
        const auto [entry, inserted] = counts_.try_emplace(std::string(name), 0);
        ++entry->second;
        if (!inserted) return;
        order_.emplace_back(name);
        while (order_.size() > capacity_) {
            counts_.erase(order_.front());
            order_.pop_front();
        }
    }

    std::uint64_t count(std::string_view name) const
    {
        const auto found = counts_.find(std::string(name));
        return found == counts_.end() ? 0 : found->second;
    }

    std::size_t size() const { return counts_.size(); }

    void clear()
    {
        counts_.clear();
        order_.clear();
    }

private:
    std::size_t capacity_;
    std::unordered_map<std::string, std::uint64_t> counts_;
    std::deque<std::string> order_;  // first counted first
};

}  // namespace VelmorServer
