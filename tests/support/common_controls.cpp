#include "support/common_controls.h"

#include <fstream>

namespace VelmorTest {

CommonControlsV6Scope::CommonControlsV6Scope()
{
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    static unsigned counter = 0;
    path_ = std::wstring(folder) + L"velmor-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L".manifest";
    std::ofstream(path_.c_str(), std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
           "<dependency><dependentAssembly><assemblyIdentity type=\"win32\" "
           "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\" processorArchitecture=\"*\" "
           "publicKeyToken=\"6595b64144ccf1df\" language=\"*\"/></dependentAssembly></dependency></assembly>";
    ACTCTXW description = {};
    description.cbSize = sizeof(description);
    description.lpSource = path_.c_str();
    context_ = ::CreateActCtxW(&description);
    if (context_ != INVALID_HANDLE_VALUE) active_ = ::ActivateActCtx(context_, &cookie_) != FALSE;
}

CommonControlsV6Scope::~CommonControlsV6Scope()
{
    if (active_) ::DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE) ::ReleaseActCtx(context_);
    ::DeleteFileW(path_.c_str());
}

}  // namespace VelmorTest
