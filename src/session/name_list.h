// Name lists: ordered UTF-16 names without blanks or duplicates. Membership is
// exact (same code units, case-sensitive); only the room host is matched
// ignoring letter case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Velmor {

using NameList = std::vector<std::wstring>;

bool containsName(const NameList& names, std::wstring_view name);

// Removes every entry equal to `name`; returns how many were removed.
std::size_t removeName(NameList& names, std::wstring_view name);

// Same length and equal under the platform's ordinal case-insensitive
// comparison (CompareStringOrdinal with ignore-case).
bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b);

bool containsNameIgnoringCase(const NameList& names, std::wstring_view name);

}  // namespace Velmor
