// Request record; see request_record.h.
#include "request_record.h"

#include "json_writer.h"

#include <cerrno>
#include <cstring>

namespace VelmorServer {

bool RequestRecord::openFile(const std::string& path, std::string& error)
{
    file_.reset(std::fopen(path.c_str(), "a"));
    if (!file_) error = "cannot open the request record " + path + ": " + std::strerror(errno);
    return file_ != nullptr;
}

std::string RequestRecord::formatLine(std::string_view user, std::string_view type, std::string_view text)
{
    // Same member order as the documented format, without a "type" first.
    return JsonObjectWriter().text("user", user).text("type", type).text("text", text).finish();
}

void RequestRecord::add(std::string_view user, std::string_view type, std::string_view text)
{
    std::string line = formatLine(user, type, text);
    line += '\n';
    if (file_) {
        std::fwrite(line.data(), 1, line.size(), file_.get());
        std::fflush(file_.get());
    }
    if (!keepInMemory_) return;
    bytes_ += line.size();
    lines_.push_back(std::move(line));
    while (bytes_ > kMaxMemoryBytes && !lines_.empty()) {
        bytes_ -= lines_.front().size();
        lines_.pop_front();
    }
}

std::string RequestRecord::lines() const
{
    std::string all;
    all.reserve(bytes_);
    for (const std::string& line : lines_) all += line;
    return all;
}

void RequestRecord::clear()
{
    lines_.clear();
    bytes_ = 0;
}

}  // namespace VelmorServer
