#include "text/arabic_shaping.h"

#include "text/unicode_properties.h"

#include <vector>

namespace Velmor {
namespace {

constexpr char32_t kLam = 0x0644;

// The joining type as far as drawing goes: a joining letter that has no
// presentation forms is drawn in its own shape and joins nothing.
JoiningType drawnJoiningType(char32_t c)
{
    const JoiningType type = joiningType(c);
    if ((type == JoiningType::D || type == JoiningType::R || type == JoiningType::L) &&
        presentationForm(c, formIsolated) == 0) {
        return JoiningType::U;
    }
    return type;
}

bool joinsTowardsNext(JoiningType type)
{
    return type == JoiningType::D || type == JoiningType::L || type == JoiningType::C;
}

bool joinsTowardsPrevious(JoiningType type)
{
    return type == JoiningType::D || type == JoiningType::R || type == JoiningType::C;
}

char32_t formOf(char32_t letter, ShapingForm form)
{
    // Where a form is missing the nearest one that exists stands in.
    static constexpr ShapingForm kFallback[][3] = {
        {formIsolated, formIsolated, formIsolated},  // isolated
        {formFinal, formIsolated, formIsolated},     // final
        {formInitial, formIsolated, formIsolated},   // initial
        {formMedial, formFinal, formIsolated},       // medial
    };
    for (const ShapingForm candidate : kFallback[form]) {
        if (const char32_t shaped = presentationForm(letter, candidate)) return shaped;
    }
    return letter;
}

}  // namespace

std::u32string shapeArabic(std::u32string_view text)
{
    const std::size_t n = text.size();
    std::vector<JoiningType> types(n);
    bool anyJoining = false;
    for (std::size_t i = 0; i < n; ++i) {
        types[i] = drawnJoiningType(text[i]);
        anyJoining = anyJoining || types[i] == JoiningType::D || types[i] == JoiningType::R;
    }
    if (!anyJoining) return std::u32string(text);

    std::u32string shaped;
    shaped.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const JoiningType type = types[i];
        if (type != JoiningType::D && type != JoiningType::R) {
            shaped.push_back(text[i]);
            continue;
        }
        std::size_t previous = i;
        while (previous > 0 && types[previous - 1] == JoiningType::T) --previous;
        std::size_t next = i + 1;
        while (next < n && types[next] == JoiningType::T) ++next;
        const bool joinsPrevious = previous > 0 && joinsTowardsNext(types[previous - 1]);
        const bool joinsNext = type == JoiningType::D && next < n && joinsTowardsPrevious(types[next]);

        if (text[i] == kLam && i + 1 < n) {
            const ShapingForm form = joinsPrevious ? formFinal : formIsolated;
            if (const char32_t ligature = lamAlefLigature(text[i + 1], form)) {
                shaped.push_back(ligature);
                ++i;
                continue;
            }
        }
        const ShapingForm form = joinsPrevious ? (joinsNext ? formMedial : formFinal)
                                               : (joinsNext ? formInitial : formIsolated);
        shaped.push_back(formOf(text[i], form));
    }
    return shaped;
}

}  // namespace Velmor
