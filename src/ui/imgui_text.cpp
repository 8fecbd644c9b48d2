#include "ui/imgui_text.h"

#include "text/display_text.h"

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

void displayTextUnformatted(std::string_view utf8, bool alignRightToLeft)
{
    bool rightToLeft = false;
    const std::string_view shown = displayText(utf8, &rightToLeft);
    if (alignRightToLeft && rightToLeft) {
        const float width = ImGui::CalcTextSize(shown.data(), shown.data() + shown.size()).x;
        const float room = ImGui::GetContentRegionAvail().x;
        if (width < room) ImGui::SetCursorPosX(ImGui::GetCursorPosX() + room - width);
    }
    ImGui::TextUnformatted(shown.data(), shown.data() + shown.size());
}

bool fittedButton(const char* label, float width, float height)
{
    const float needed = ImGui::CalcTextSize(label, nullptr, true).x + 2 * ImGui::GetStyle().FramePadding.x;
    return ImGui::Button(label, ImVec2(width > needed ? width : needed, height));
}

float fillHeight(float leaveBelow, float minimum)
{
    const float height = ImGui::GetContentRegionAvail().y - leaveBelow;
    return height > minimum ? height : minimum;
}

float widthBesideLabel(const char* label)
{
    return -(ImGui::CalcTextSize(label, nullptr, true).x + ImGui::GetStyle().ItemInnerSpacing.x);
}

}  // namespace Velmor
