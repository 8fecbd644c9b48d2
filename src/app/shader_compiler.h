// The HLSL compiler, found at run time. The Direct3D 11 back-end of the
// workspace compiles its two small shaders with D3DCompile; importing that
// function would tie the program to one d3dcompiler_NN.dll, and a system
// without it (stock Windows 7 has none of the newer ones) would refuse to
// start the program at all. This module defines D3DCompile itself and
// forwards to the newest compiler library present.
#pragma once

#include <windows.h>
#include <d3dcompiler.h>

#include <span>

namespace Velmor {

// The libraries tried, newest first.
inline constexpr const wchar_t* kShaderCompilerLibraries[] = {L"d3dcompiler_47.dll", L"d3dcompiler_46.dll",
                                                              L"d3dcompiler_43.dll"};

// Loads the first of `libraries` that exports D3DCompile and keeps it loaded
// for the life of the process; null when none does.
pD3DCompile loadShaderCompiler(std::span<const wchar_t* const> libraries);

}  // namespace Velmor
