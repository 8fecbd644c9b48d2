// The record of every request the server received, one JSON line each, that
// tests read back through the control interface or from a file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <string_view>

namespace VelmorServer {

class RequestRecord {
public:
    // The in-memory record keeps the newest lines within this size; the file
    // keeps everything.
    static constexpr std::size_t kMaxMemoryBytes = 32u * 1024 * 1024;

    // Appends every later line to `path` as well. False with a reason when the
    // file cannot be opened.
    bool openFile(const std::string& path, std::string& error);

    // Only the control interface reads the in-memory lines; without it the
    // record goes to the file alone.
    void keepInMemory(bool keep) { keepInMemory_ = keep; }

    // `type` is the request's "type" as documented for the record: "ping"
    // for the bare ping, the member's text for a JSON object, else empty.
    void add(std::string_view user, std::string_view type, std::string_view text);

    // Every line held in memory, each ended by a line feed.
    std::string lines() const;

    // Forgets the in-memory lines (the file is an append-only history).
    void clear();

    static std::string formatLine(std::string_view user, std::string_view type, std::string_view text);

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::deque<std::string> lines_;
    std::size_t bytes_ = 0;
    bool keepInMemory_ = true;
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace VelmorServer
