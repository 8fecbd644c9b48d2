// Test data: the 176 English texts of the interface, grouped by the
// languages that translate them.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace VelmorTest {

struct EnglishTextGroup {
    const char* name;
    bool arabic;
    bool french;
    bool spanish;
    std::span<const std::wstring_view> texts;
};

const std::vector<EnglishTextGroup>& englishTextGroups();

}  // namespace VelmorTest
