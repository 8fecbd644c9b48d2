#include "app/renderer.h"

#include <atomic>
#include <initializer_list>

namespace Velmor {
namespace {

std::atomic<bool> gOccludedForTests{false};

}  // namespace

void Renderer::reportOccludedForTests(bool occluded) { gOccludedForTests = occluded; }

bool Renderer::create(HWND window)
{
    DXGI_SWAP_CHAIN_DESC description = {};
    description.BufferDesc.Width = 0;
    description.BufferDesc.Height = 0;
    description.BufferDesc.RefreshRate = {60, 1};
    description.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    description.SampleDesc = {1, 0};
    description.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    description.BufferCount = 2;
    description.OutputWindow = window;
    description.Windowed = TRUE;
    description.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    description.Flags = 0;

    const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_0};
    for (const D3D_DRIVER_TYPE driver : {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP}) {
        D3D_FEATURE_LEVEL obtained = {};
        const HRESULT result = ::D3D11CreateDeviceAndSwapChain(
            nullptr, driver, nullptr, 0, levels, 2, D3D11_SDK_VERSION, &description, swapChain_.ReleaseAndGetAddressOf(),
            device_.ReleaseAndGetAddressOf(), &obtained, context_.ReleaseAndGetAddressOf());
        if (SUCCEEDED(result)) break;
    }
    if (!device_ || !swapChain_ || !createRenderTarget()) {
        release();
        return false;
    }
    return true;
}

bool Renderer::createRenderTarget()
{
    Microsoft::WRL::ComPtr<ID3D11Texture2D> backBuffer;
    if (FAILED(swapChain_->GetBuffer(0, IID_PPV_ARGS(&backBuffer)))) return false;
    return SUCCEEDED(device_->CreateRenderTargetView(backBuffer.Get(), nullptr, renderTarget_.ReleaseAndGetAddressOf()));
}

void Renderer::release()
{
    renderTarget_.Reset();
    swapChain_.Reset();
    context_.Reset();
    device_.Reset();
}

void Renderer::resize(UINT width, UINT height)
{
    if (!swapChain_) return;
    renderTarget_.Reset();
    if (width == 0 || height == 0) return;
    if (SUCCEEDED(swapChain_->ResizeBuffers(0, width, height, DXGI_FORMAT_UNKNOWN, 0))) createRenderTarget();
}

void Renderer::beginFrame(const float clearColor[4])
{
    ID3D11RenderTargetView* target = renderTarget_.Get();
    context_->OMSetRenderTargets(1, &target, nullptr);
    context_->ClearRenderTargetView(target, clearColor);
}

bool Renderer::present()
{
    const HRESULT result = swapChain_->Present(1, 0);
    lastPresentShown_ = result != DXGI_STATUS_OCCLUDED && !gOccludedForTests;
    return lastPresentShown_;
}

bool Renderer::stillOccluded()
{
    if (gOccludedForTests) return true;
    return swapChain_ && swapChain_->Present(0, DXGI_PRESENT_TEST) == DXGI_STATUS_OCCLUDED;
}

}  // namespace Velmor
