// Libraries loaded when first needed rather than imported, so that a run
// that never needs them never loads them (or what they pull in).
#pragma once

#include "platform/unique_handle.h"

#include <windows.h>

namespace Velmor {

using UniqueModule = UniqueHandle<NullHandleTraits<HMODULE, &::FreeLibrary>>;

// Loads a library from the application folder or the system folder, never
// the current one; systems without that search option get the classic
// search. Null when it cannot be loaded.
HMODULE loadSystemLibrary(const wchar_t* name);

// An entry point of a loaded library as a function pointer, or null.
template <typename Function>
Function libraryFunction(HMODULE library, const char* name)
{
    if (!library) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

}  // namespace Velmor
