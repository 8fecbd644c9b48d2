// The Direct3D 11 device, swap chain and render target of the main window.
#pragma once

#include <d3d11.h>
#include <wrl/client.h>

namespace Velmor {

class Renderer {
public:
    // Hardware device first, then WARP; false when neither works.
    bool create(HWND window);
    void release();

    // After WM_SIZE: drops the render target and, for a non-empty size,
    // resizes the buffers and makes a new one. A failed resize leaves no
    // render target, so frames are skipped until the next successful one.
    void resize(UINT width, UINT height);

    bool ready() const { return device_ && renderTarget_; }
    ID3D11Device* device() const { return device_.Get(); }
    ID3D11DeviceContext* context() const { return context_.Get(); }

    // Binds and clears the render target; then the caller draws; present()
    // shows the frame with vertical synchronisation and returns false when
    // the window is occluded (nothing of it can be seen).
    void beginFrame(const float clearColor[4]);
    bool present();
    bool lastPresentShown() const { return lastPresentShown_; }

    // Asks the swap chain, without presenting, whether the window is still
    // occluded.
    bool stillOccluded();

    // Tests stand in for a covered window: while set, every present and
    // every test reports the window occluded.
    static void reportOccludedForTests(bool occluded);

private:
    bool createRenderTarget();

    Microsoft::WRL::ComPtr<ID3D11Device> device_;
    Microsoft::WRL::ComPtr<ID3D11DeviceContext> context_;
    Microsoft::WRL::ComPtr<IDXGISwapChain> swapChain_;
    Microsoft::WRL::ComPtr<ID3D11RenderTargetView> renderTarget_;
    bool lastPresentShown_ = true;
};

}  // namespace Velmor
