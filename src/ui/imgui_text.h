// Text input bound to a growing std::string (the toolkit's resize callback),
// so edited texts have no fixed limit.
#pragma once

#include <imgui.h>

#include <string>

namespace Velmor {

// ImGui::InputText over `text`; CallbackResize is added to `flags`.
bool inputTextString(const char* label, std::string& text, ImGuiInputTextFlags flags = 0);

}  // namespace Velmor
