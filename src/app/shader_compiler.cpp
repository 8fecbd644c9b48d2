#include "app/shader_compiler.h"

#include "platform/system_library.h"

#include <vector>

namespace Velmor {
namespace {

// The libraries loaded here, released at exit.
std::vector<UniqueModule>& loadedLibraries()
{
    static std::vector<UniqueModule> libraries;
    return libraries;
}

}  // namespace

pD3DCompile loadShaderCompiler(std::span<const wchar_t* const> libraries)
{
    for (const wchar_t* name : libraries) {
        UniqueModule module(loadSystemLibrary(name));
        if (!module) continue;
        const auto entry = libraryFunction<pD3DCompile>(module.get(), "D3DCompile");
        if (!entry) continue;
        loadedLibraries().push_back(std::move(module));
        return entry;
    }
    return nullptr;
}

}  // namespace Velmor

extern "C" HRESULT WINAPI D3DCompile(const void* data, SIZE_T dataSize, const char* fileName,
                                     const D3D_SHADER_MACRO* defines, ID3DInclude* include, const char* entryPoint,
                                     const char* target, UINT flags1, UINT flags2, ID3DBlob** shader,
                                     ID3DBlob** errorMessages)
{
    static const pD3DCompile compile = Velmor::loadShaderCompiler(Velmor::kShaderCompilerLibraries);
    if (!compile) {
        if (shader) *shader = nullptr;
        if (errorMessages) *errorMessages = nullptr;
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }
    return compile(data, dataSize, fileName, defines, include, entryPoint, target, flags1, flags2, shader,
                   errorMessages);
}
