#include "ui/imgui_text.h"

namespace Velmor {
namespace {

int resizeCallback(ImGuiInputTextCallbackData* data)
{
    if (data->EventFlag == ImGuiInputTextFlags_CallbackResize) {
        auto* text = static_cast<std::string*>(data->UserData);
        text->resize(static_cast<std::size_t>(data->BufTextLen));
        data->Buf = text->data();
    }
    return 0;
}

}  // namespace

bool inputTextString(const char* label, std::string& text, ImGuiInputTextFlags flags)
{
    return ImGui::InputText(label, text.data(), text.capacity() + 1, flags | ImGuiInputTextFlags_CallbackResize,
                            resizeCallback, &text);
}

}  // namespace Velmor
