#include "ui/roster_list_box.h"

#include "platform/unique_handle.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Velmor {
namespace {

std::wstring listItemText(HWND listBox, LRESULT index)
{
    const LRESULT length = ::SendMessageW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR || length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        ::SendMessageW(listBox, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    if (copied == LB_ERR || copied < 0) return {};
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

// Item messages sent by the thousand go to the list box's own procedure (its
// class's), past any subclass: under Wine every message through a comctl32
// subclass costs a round trip to the wine server for the subclass's window
// property (about 0.1 ms), which made a 10,000-name refill take a second. The
// roster subclass answers only the mouse and the context menu. A window of
// another class gets the messages sent as usual.
class ItemMessages {
public:
    explicit ItemMessages(HWND listBox) : listBox_(listBox)
    {
        struct ListBoxClass {
            ATOM atom = 0;
            WNDPROC procedure = nullptr;
        };
        static const ListBoxClass listBoxClass = [] {
            WNDCLASSEXW info = {};
            info.cbSize = sizeof(info);
            const ATOM atom = ::GetClassInfoExW(nullptr, L"LISTBOX", &info);
            return ListBoxClass{atom, atom ? info.lpfnWndProc : nullptr};
        }();
        if (listBoxClass.atom && static_cast<ATOM>(::GetClassLongPtrW(listBox, GCW_ATOM)) == listBoxClass.atom) {
            procedure_ = listBoxClass.procedure;
        }
    }

    LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return procedure_ ? ::CallWindowProcW(procedure_, listBox_, message, wParam, lParam)
                          : ::SendMessageW(listBox_, message, wParam, lParam);
    }

private:
    HWND listBox_;
    WNDPROC procedure_ = nullptr;
};

// Names one after another in one buffer, each found by where it ends: a list
// box's worth of names without a heap block per name (at 10,000 names,
// separate strings would take twice the memory of the names themselves).
class PackedNames {
public:
    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }

    std::wstring_view operator[](std::size_t index) const
    {
        const std::size_t start = index ? ends_[index - 1] : 0;
        return std::wstring_view(characters_).substr(start, ends_[index] - start);
    }

    void clear()
    {
        characters_.clear();
        ends_.clear();
    }

    void reserve(std::size_t names, std::size_t characters)
    {
        ends_.reserve(names);
        characters_.reserve(characters);
    }

    void push_back(std::wstring_view name) { insert(size(), name); }

    void insert(std::size_t index, std::wstring_view name)
    {
        const std::size_t start = index ? ends_[index - 1] : 0;
        characters_.insert(start, name);
        ends_.insert(ends_.begin() + static_cast<std::ptrdiff_t>(index), static_cast<std::uint32_t>(start));
        for (std::size_t k = index; k < ends_.size(); ++k) ends_[k] += static_cast<std::uint32_t>(name.size());
    }

    void erase(std::size_t index)
    {
        const std::size_t start = index ? ends_[index - 1] : 0;
        const std::size_t length = ends_[index] - start;
        characters_.erase(start, length);
        ends_.erase(ends_.begin() + static_cast<std::ptrdiff_t>(index));
        for (std::size_t k = index; k < ends_.size(); ++k) ends_[k] -= static_cast<std::uint32_t>(length);
    }

private:
    std::wstring characters_;
    std::vector<std::uint32_t> ends_;  // one past each name's last character
};

// What this module last put into a list box: its names and their widths in
// the font they were measured with. A refill that differs from it in a few
// names (a presence delta: some leave, some arrive at the end) then edits
// only those items. Emptying a list of thousands of owner-drawn items is
// what makes a full refill slow: the list box reports every deleted item to
// its owner (WM_DELETEITEM), and every name would be measured again.
struct FilledList {
    PackedNames names;
    std::vector<int> widths;
    HFONT font = nullptr;
};

std::unordered_map<HWND, FilledList>& filledLists()
{
    static std::unordered_map<HWND, FilledList> lists;
    return lists;
}

// Beyond this many item edits a full refill is cheaper (each edit moves the
// items behind it).
constexpr std::size_t kMaxEdits = 64;

struct Edit {
    enum Kind { Remove, Insert } kind;
    std::size_t position;  // in the list box at the moment of the edit
    std::size_t name;      // Insert: index into the new names
};

// Whether `name` stands among the next kMaxEdits + 1 names of `names` from
// `from` on.
bool standsSoon(const NameList& names, std::size_t from, std::wstring_view name)
{
    const std::size_t end = std::min(names.size(), from + kMaxEdits + 1);
    for (std::size_t k = from; k < end; ++k) {
        if (names[k] == name) return true;
    }
    return false;
}

// Edits that turn `before` into `after`: where the two differ, a name of
// `before` that does not stand soon in `after` is removed, else the name of
// `after` is inserted. The result is `after` exactly, repeats included. A
// few names leaving or arriving anywhere take as many edits; a list that
// changed in many names is given up on after kMaxEdits of them, having cost
// no more than that many short searches. False when there would be too many.
bool planEdits(const PackedNames& before, const NameList& after, std::vector<Edit>& edits)
{
    std::size_t i = 0, j = 0, position = 0;
    while (i < before.size() || j < after.size()) {
        if (edits.size() > kMaxEdits) return false;
        if (i < before.size() && j < after.size() && before[i] == after[j]) {
            ++i, ++j, ++position;
        } else if (i < before.size() && (j == after.size() || !standsSoon(after, j, before[i]))) {
            edits.push_back({Edit::Remove, position, 0});
            ++i;
        } else {
            edits.push_back({Edit::Insert, position, j});
            ++j, ++position;
        }
    }
    return edits.size() <= kMaxEdits;
}

int measureExactly(HDC dc, std::wstring_view name)
{
    SIZE extent = {};
    if (dc && ::GetTextExtentPoint32W(dc, name.data(), static_cast<int>(name.size()), &extent)) {
        return static_cast<int>(extent.cx);
    }
    return 0;
}

// A name's width in the list box's font. Text that GDI lays out one character
// after another (Latin, Greek, Cyrillic and the like, without combining marks)
// is as wide as the sum of its characters' advance widths, kept per character
// for the font; measuring thousands of names one by one is most of a large
// refill. Anything else (joined or reordered scripts, marks, surrogates) is
// measured whole.
class NameWidths {
public:
    // The font selected into `dc` is the one to measure with: the widths kept
    // are forgotten when it differs from the last (a handle can be reused for
    // another font, so its metrics count too).
    void useFont(HDC dc)
    {
        TEXTMETRICW metrics = {};
        ::GetTextMetricsW(dc, &metrics);
        const Key key{::GetCurrentObject(dc, OBJ_FONT), metrics.tmHeight, metrics.tmAveCharWidth, metrics.tmWeight};
        if (widths_.empty() || !(key == key_)) {
            key_ = key;
            widths_.assign(kCachedCharacters, -1);
        }
    }

    int measure(HDC dc, std::wstring_view name)
    {
        int total = 0;
        for (const wchar_t character : name) {
            if (character >= kCachedCharacters || (character >= 0x0300 && character <= 0x036F)) {
                return measureExactly(dc, name);
            }
            int& width = widths_[character];
            if (width < 0) {
                INT advance = 0;
                width = dc && ::GetCharWidth32W(dc, character, character, &advance) ? advance : 0;
            }
            total += width;
        }
        return total;
    }

private:
    struct Key {
        HGDIOBJ font = nullptr;
        LONG height = 0, averageWidth = 0, weight = 0;
        bool operator==(const Key& other) const
        {
            return font == other.font && height == other.height && averageWidth == other.averageWidth &&
                   weight == other.weight;
        }
    };
    static constexpr wchar_t kCachedCharacters = 0x0590;  // up to Hebrew
    Key key_;
    std::vector<int> widths_;
};

NameWidths& nameWidths()
{
    static NameWidths widths;
    return widths;
}

int measure(HDC dc, std::wstring_view name) { return nameWidths().measure(dc, name); }

// Whether the list box still holds what `filled` says (nobody else changed
// it, and it is the same window).
bool stillHolds(HWND listBox, const FilledList& filled, HFONT font)
{
    const LRESULT count = ::SendMessageW(listBox, LB_GETCOUNT, 0, 0);
    if (count < 0 || static_cast<std::size_t>(count) != filled.names.size() || filled.font != font) return false;
    if (filled.names.empty()) return true;
    return listItemText(listBox, 0) == filled.names[0] &&
           listItemText(listBox, count - 1) == filled.names[filled.names.size() - 1];
}

void refillWhole(HWND listBox, HDC dc, const NameList& names, const std::wstring& remembered, FilledList& filled)
{
    const ItemMessages items(listBox);
    items.send(LB_RESETCONTENT);
    std::size_t characters = 0;
    for (const std::wstring& name : names) characters += name.size() + 1;
    items.send(LB_INITSTORAGE, names.size(), characters * sizeof(wchar_t));
    filled.names.clear();
    filled.widths.clear();
    filled.names.reserve(names.size(), characters - names.size());
    filled.widths.reserve(names.size());
    for (const std::wstring& name : names) {
        const LRESULT index = items.send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (index >= 0 && !remembered.empty() && name == remembered) {
            ::SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
        if (index >= 0) {
            filled.names.push_back(name);
            filled.widths.push_back(measure(dc, name));
        }
    }
}

void applyEdits(HWND listBox, HDC dc, const NameList& names, const std::vector<Edit>& edits,
                const std::wstring& remembered, FilledList& filled)
{
    const ItemMessages items(listBox);
    for (const Edit& edit : edits) {
        const auto at = static_cast<std::ptrdiff_t>(edit.position);
        if (edit.kind == Edit::Remove) {
            items.send(LB_DELETESTRING, edit.position);
            filled.names.erase(edit.position);
            filled.widths.erase(filled.widths.begin() + at);
        } else {
            const std::wstring& name = names[edit.name];
            items.send(LB_INSERTSTRING, edit.position, reinterpret_cast<LPARAM>(name.c_str()));
            filled.names.insert(edit.position, name);
            filled.widths.insert(filled.widths.begin() + at, measure(dc, name));
        }
    }
    // As after a whole refill: the remembered name selected where it now
    // stands, or nothing.
    LRESULT selection = -1;
    for (std::size_t k = 0; !remembered.empty() && k < filled.names.size(); ++k) {
        if (filled.names[k] == remembered) {
            selection = static_cast<LRESULT>(k);
            break;
        }
    }
    ::SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

}  // namespace

std::wstring selectedListText(HWND listBox)
{
    if (!listBox) return {};
    const LRESULT selected = ::SendMessageW(listBox, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return {};
    return listItemText(listBox, selected);
}

void fillRosterListBox(HWND listBox, const NameList& names)
{
    if (!listBox) return;
    const std::wstring remembered = selectedListText(listBox);

    // Large lists (thousands of names) refill without a redraw per item.
    ::SendMessageW(listBox, WM_SETREDRAW, FALSE, 0);

    // Every control carries the interface font, so the list box's own font is
    // the one to measure with.
    WindowDc dc(listBox);
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(listBox, WM_GETFONT, 0, 0));
    ScopedSelectObject selectFont(dc.get(), font);
    nameWidths().useFont(dc.get());

    auto& lists = filledLists();
    if (!lists.count(listBox)) {
        // A list box seen for the first time: forget those destroyed since.
        for (auto entry = lists.begin(); entry != lists.end();) {
            entry = ::IsWindow(entry->first) ? std::next(entry) : lists.erase(entry);
        }
    }
    FilledList& filled = lists[listBox];
    std::vector<Edit> edits;
    if (stillHolds(listBox, filled, font) && planEdits(filled.names, names, edits)) {
        applyEdits(listBox, dc.get(), names, edits, remembered, filled);
    } else {
        refillWhole(listBox, dc.get(), names, remembered, filled);
    }
    filled.font = font;

    const int widest = filled.widths.empty() ? 0 : *std::max_element(filled.widths.begin(), filled.widths.end());
    ::SendMessageW(listBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(std::max(widest + 40, 180)), 0);
    ::SendMessageW(listBox, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(listBox, nullptr, TRUE);
}

}  // namespace Velmor
