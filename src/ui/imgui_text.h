// Text input bound to a growing std::string (the toolkit's resize callback),
// so edited texts have no fixed limit.
#pragma once

#include <imgui.h>

#include <string>
#include <string_view>

namespace Velmor {

// ImGui::InputText over `text`; CallbackResize is added to `flags`.
bool inputTextString(const char* label, std::string& text, ImGuiInputTextFlags flags = 0);

// A peer-provided or stored text (UTF-8) as the workspace shows it: shaped
// and in display order (text/display_text.h). With `alignRightToLeft`, a
// line whose paragraph runs right to left is put against the right edge of
// the space left on the line, where it fits.
void displayTextUnformatted(std::string_view utf8, bool alignRightToLeft = false);

// A button at least `width` wide and never narrower than its label: the
// layout's widths were chosen for one font, and a wider one must not cut
// the label.
bool fittedButton(const char* label, float width, float height = 0);

// The height of a child that fills what is left of the window less
// `leaveBelow`, but never less than `minimum`: in a short window the page
// scrolls instead of squeezing the child away.
float fillHeight(float leaveBelow, float minimum);

// A width that takes what is left of the line but keeps room for `label`
// beside the box.
float widthBesideLabel(const char* label);

}  // namespace Velmor
