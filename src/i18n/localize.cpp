// The lookup in the current interface language.
#include "i18n/localize.h"

#include "i18n/translation_tables.h"
#include "session/client_state.h"

namespace Velmor {

std::wstring localize(std::wstring_view text)
{
    return std::wstring(translate(text, clientState().uiLanguage.load()));
}

std::wstring localize(const wchar_t* text)
{
    if (!text) return {};
    return localize(std::wstring_view(text));
}

std::wstring onlineCountText(std::size_t count)
{
    std::wstring text = localize(L"ONLINE NOW  ·  0");
    const std::size_t zero = text.find(L'0');
    if (zero != std::wstring::npos) text.replace(zero, 1, std::to_wstring(count));
    return text;
}

}  // namespace Velmor
