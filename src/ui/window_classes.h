// The client's three window classes and the palette role each one is
// registered with as its background, so that registration and the theme
// change agree on which brush belongs to which class.
#pragma once

#include <optional>
#include <string_view>

namespace Velmor {

inline constexpr wchar_t kMainWindowClass[] = L"VelmorChatClientWindow";
inline constexpr wchar_t kDirectMessageWindowClass[] = L"VelmorChatDirectMessageWindow";
inline constexpr wchar_t kToastWindowClass[] = L"VelmorChatToastWindow";

struct ThemedWindowClass {
    const wchar_t* name;
    int backgroundRole;  // palette role of the class background brush
};

inline constexpr ThemedWindowClass kThemedWindowClasses[] = {
    {kToastWindowClass, 5},
    {kDirectMessageWindowClass, 0},
    {kMainWindowClass, 0},
};

// The background role of a class by name; nothing for a class that is not ours.
inline std::optional<int> themedClassBackgroundRole(std::wstring_view className)
{
    for (const ThemedWindowClass& themed : kThemedWindowClasses) {
        if (className == themed.name) return themed.backgroundRole;
    }
    return std::nullopt;
}

}  // namespace Velmor
