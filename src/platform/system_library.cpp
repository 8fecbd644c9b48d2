#include "platform/system_library.h"

namespace Velmor {

HMODULE loadSystemLibrary(const wchar_t* name)
{
    if (const HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) return module;
    if (::GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
    return ::LoadLibraryW(name);
}

}  // namespace Velmor
