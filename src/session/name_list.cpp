#include "session/name_list.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace Velmor {

bool containsName(const NameList& names, std::wstring_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::size_t removeName(NameList& names, std::wstring_view name)
{
    const auto newEnd = std::remove(names.begin(), names.end(), name);
    const auto removed = static_cast<std::size_t>(names.end() - newEnd);
    names.erase(newEnd, names.end());
    return removed;
}

bool equalsIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    if (a.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int length = static_cast<int>(a.size());
    return ::CompareStringOrdinal(a.data(), length, b.data(), length, TRUE) == CSTR_EQUAL;
}

bool containsNameIgnoringCase(const NameList& names, std::wstring_view name)
{
    return std::any_of(names.begin(), names.end(),
                       [name](const std::wstring& entry) { return equalsIgnoringCase(entry, name); });
}

}  // namespace Velmor
