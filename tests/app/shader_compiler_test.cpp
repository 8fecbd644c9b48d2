// The run-time shader compiler: the program's own D3DCompile forwards to the
// newest compiler library present, and fails with an error code (never a
// crash) when there is none.
#include "app/shader_compiler.h"

#include <gtest/gtest.h>

#include <wrl/client.h>

#include <cstring>

using namespace Velmor;
using Microsoft::WRL::ComPtr;

namespace {

constexpr char kVertexShader[] = "float4 main(float2 position : POSITION) : SV_POSITION"
                                 " { return float4(position, 0.0f, 1.0f); }";

TEST(ShaderCompiler, LoadsTheFirstLibraryThatHasOne)
{
    const wchar_t* const missing[] = {L"velmor-no-such-compiler.dll", L"kernel32.dll"};  // kernel32 has none
    EXPECT_EQ(loadShaderCompiler(missing), nullptr);

    const wchar_t* const present[] = {L"velmor-no-such-compiler.dll", L"d3dcompiler_47.dll"};
    const pD3DCompile compile = loadShaderCompiler(present);
    ASSERT_NE(compile, nullptr) << "this system has no d3dcompiler_47.dll";
    ComPtr<ID3DBlob> code;
    ComPtr<ID3DBlob> errors;
    EXPECT_EQ(compile(kVertexShader, std::strlen(kVertexShader), nullptr, nullptr, nullptr, "main", "vs_4_0", 0, 0,
                      &code, &errors),
              S_OK);
    ASSERT_NE(code, nullptr);
    EXPECT_GT(code->GetBufferSize(), 0u);
}

TEST(ShaderCompiler, TheProgramsOwnD3DCompileForwards)
{
    ComPtr<ID3DBlob> code;
    ComPtr<ID3DBlob> errors;
    ASSERT_EQ(D3DCompile(kVertexShader, std::strlen(kVertexShader), nullptr, nullptr, nullptr, "main", "vs_4_0", 0, 0,
                         &code, &errors),
              S_OK);
    EXPECT_NE(code, nullptr);

    // A compile error is the compiler's own answer, with its messages.
    constexpr char kBroken[] = "float4 main( : SV_POSITION { }";
    code.Reset();
    EXPECT_TRUE(FAILED(D3DCompile(kBroken, std::strlen(kBroken), nullptr, nullptr, nullptr, "main", "vs_4_0", 0, 0,
                                  &code, &errors)));
    EXPECT_EQ(code, nullptr);
    EXPECT_NE(errors, nullptr);
}

}  // namespace
