#include "text/bidi.h"

#include "text/unicode_properties.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

namespace Velmor {
namespace {

using C = BidiClass;

constexpr int kMaxDepth = 125;
constexpr std::size_t kMaxBracketDepth = 63;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool isIsolateInitiator(C c) { return c == C::LRI || c == C::RLI || c == C::FSI; }

bool isRemovedByX9(C c)
{
    return c == C::LRE || c == C::RLE || c == C::LRO || c == C::RLO || c == C::PDF || c == C::BN;
}

bool isNeutralOrIsolate(C c)
{
    return c == C::B || c == C::S || c == C::WS || c == C::ON || isIsolateInitiator(c) || c == C::PDI;
}

// The strong direction a resolved type counts as in N0-N2: numbers count as
// right-to-left; ON for everything neutral.
C strongDirection(C c)
{
    if (c == C::L) return C::L;
    if (c == C::R || c == C::AL || c == C::EN || c == C::AN) return C::R;
    return C::ON;
}

C directionOfLevel(int level) { return (level & 1) ? C::R : C::L; }

// P2/P3 over [begin, end): the first L, R or AL outside nested isolates. With
// `insideIsolate`, a PDI at the outer depth ends the search (FSI's own text).
int firstStrongLevel(const std::vector<C>& classes, std::size_t begin, std::size_t end, bool insideIsolate)
{
    int depth = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const C c = classes[i];
        if (isIsolateInitiator(c)) {
            ++depth;
        } else if (c == C::PDI) {
            if (depth > 0) {
                --depth;
            } else if (insideIsolate) {
                break;
            }
        } else if (c == C::B) {
            break;
        } else if (depth == 0 && c == C::L) {
            return 0;
        } else if (depth == 0 && (c == C::R || c == C::AL)) {
            return 1;
        }
    }
    return -1;
}

// Canonical equivalents among the paired brackets (U+2329/U+232A and
// U+3008/U+3009) pair with each other.
char32_t canonicalBracket(char32_t c)
{
    if (c == 0x2329) return 0x3008;
    if (c == 0x232A) return 0x3009;
    return c;
}

class Resolver {
public:
    Resolver(std::u32string_view text, ParagraphDirection direction) : text_(text), n_(text.size())
    {
        original_.reserve(n_);
        for (const char32_t c : text) original_.push_back(bidiClass(c));
        types_ = original_;
        result_.levels.assign(n_, 0);
        if (direction == ParagraphDirection::automatic) {
            result_.paragraphLevel = std::max(firstStrongLevel(original_, 0, n_, false), 0);
        } else {
            result_.paragraphLevel = direction == ParagraphDirection::rightToLeft ? 1 : 0;
        }
    }

    BidiLevels run()
    {
        matchIsolates();
        explicitLevels();
        explicitLevels_ = result_.levels;
        for (const std::vector<std::size_t>& sequence : isolatingRunSequences()) resolveSequence(sequence);
        lineLevels();
        return std::move(result_);
    }

private:
    // BD9: each isolate initiator's matching PDI.
    void matchIsolates()
    {
        matchingPdi_.assign(n_, kNone);
        matchedByInitiator_.assign(n_, false);
        std::vector<std::size_t> open;
        for (std::size_t i = 0; i < n_; ++i) {
            if (isIsolateInitiator(original_[i])) {
                open.push_back(i);
            } else if (original_[i] == C::PDI && !open.empty()) {
                matchingPdi_[open.back()] = i;
                matchedByInitiator_[i] = true;
                open.pop_back();
            } else if (original_[i] == C::B) {
                open.clear();
            }
        }
    }

    // X1-X8: the directional status stack.
    void explicitLevels()
    {
        struct Status {
            int level;
            C override;  // ON when neutral
            bool isolate;
        };
        std::vector<Status> stack{{result_.paragraphLevel, C::ON, false}};
        int overflowIsolates = 0;
        int overflowEmbeddings = 0;
        int validIsolates = 0;
        auto applyOverride = [&](std::size_t i) {
            if (stack.back().override != C::ON) types_[i] = stack.back().override;
        };
        for (std::size_t i = 0; i < n_; ++i) {
            const C c = original_[i];
            std::vector<int>& levels = result_.levels;
            switch (c) {
            case C::RLE:
            case C::LRE:
            case C::RLO:
            case C::LRO: {
                levels[i] = stack.back().level;
                const bool rtl = c == C::RLE || c == C::RLO;
                const int level = rtl ? (stack.back().level + 1) | 1 : (stack.back().level + 2) & ~1;
                if (level <= kMaxDepth && overflowIsolates == 0 && overflowEmbeddings == 0) {
                    stack.push_back({level, c == C::RLO ? C::R : c == C::LRO ? C::L : C::ON, false});
                } else if (overflowIsolates == 0) {
                    ++overflowEmbeddings;
                }
                break;
            }
            case C::RLI:
            case C::LRI:
            case C::FSI: {
                levels[i] = stack.back().level;
                applyOverride(i);
                bool rtl = c == C::RLI;
                if (c == C::FSI) {
                    const std::size_t end = matchingPdi_[i] == kNone ? n_ : matchingPdi_[i];
                    rtl = firstStrongLevel(original_, i + 1, end, true) == 1;
                }
                const int level = rtl ? (stack.back().level + 1) | 1 : (stack.back().level + 2) & ~1;
                if (level <= kMaxDepth && overflowIsolates == 0 && overflowEmbeddings == 0) {
                    ++validIsolates;
                    stack.push_back({level, C::ON, true});
                } else {
                    ++overflowIsolates;
                }
                break;
            }
            case C::PDI:
                if (overflowIsolates > 0) {
                    --overflowIsolates;
                } else if (validIsolates > 0) {
                    overflowEmbeddings = 0;
                    while (!stack.back().isolate) stack.pop_back();
                    stack.pop_back();
                    --validIsolates;
                }
                levels[i] = stack.back().level;
                applyOverride(i);
                break;
            case C::PDF:
                if (overflowIsolates == 0) {
                    if (overflowEmbeddings > 0) {
                        --overflowEmbeddings;
                    } else if (!stack.back().isolate && stack.size() >= 2) {
                        stack.pop_back();
                    }
                }
                levels[i] = stack.back().level;
                break;
            case C::B:
                levels[i] = result_.paragraphLevel;
                break;
            case C::BN:
                levels[i] = stack.back().level;
                break;
            default:
                levels[i] = stack.back().level;
                applyOverride(i);
                break;
            }
        }
    }

    // X9, X10 and BD13: level runs of the characters X9 keeps, chained
    // across isolates into isolating run sequences.
    std::vector<std::vector<std::size_t>> isolatingRunSequences()
    {
        std::vector<std::vector<std::size_t>> runs;
        std::vector<std::size_t> runOf(n_, kNone);
        for (std::size_t i = 0; i < n_; ++i) {
            if (isRemovedByX9(original_[i])) continue;
            if (runs.empty() || result_.levels[runs.back().back()] != result_.levels[i]) runs.emplace_back();
            runs.back().push_back(i);
            runOf[i] = runs.size() - 1;
        }
        std::vector<std::vector<std::size_t>> sequences;
        for (const std::vector<std::size_t>& run : runs) {
            if (original_[run.front()] == C::PDI && matchedByInitiator_[run.front()]) continue;
            std::vector<std::size_t> sequence = run;
            while (isIsolateInitiator(original_[sequence.back()]) && matchingPdi_[sequence.back()] != kNone) {
                const std::vector<std::size_t>& next = runs[runOf[matchingPdi_[sequence.back()]]];
                sequence.insert(sequence.end(), next.begin(), next.end());
            }
            sequences.push_back(std::move(sequence));
        }
        return sequences;
    }

    int keptLevelBefore(std::size_t i) const
    {
        while (i-- > 0) {
            if (!isRemovedByX9(original_[i])) return explicitLevels_[i];
        }
        return result_.paragraphLevel;
    }

    int keptLevelAfter(std::size_t i) const
    {
        for (++i; i < n_; ++i) {
            if (!isRemovedByX9(original_[i])) return explicitLevels_[i];
        }
        return result_.paragraphLevel;
    }

    void resolveSequence(const std::vector<std::size_t>& sequence)
    {
        const std::size_t count = sequence.size();
        const int level = result_.levels[sequence.front()];
        const C sos = directionOfLevel(std::max(level, keptLevelBefore(sequence.front())));
        const std::size_t last = sequence.back();
        const int levelAfter = isIsolateInitiator(original_[last]) ? result_.paragraphLevel : keptLevelAfter(last);
        const C eos = directionOfLevel(std::max(result_.levels[last], levelAfter));
        std::vector<C> t(count);
        for (std::size_t k = 0; k < count; ++k) t[k] = types_[sequence[k]];
        auto originalAt = [&](std::size_t k) { return original_[sequence[k]]; };

        // W1-W3.
        C lastStrong = sos;
        for (std::size_t k = 0; k < count; ++k) {
            if (t[k] == C::NSM) {
                if (k == 0) {
                    t[k] = sos;
                } else {
                    const C before = originalAt(k - 1);
                    t[k] = isIsolateInitiator(before) || before == C::PDI ? C::ON : t[k - 1];
                }
            }
            if (t[k] == C::L || t[k] == C::R || t[k] == C::AL) lastStrong = t[k];
            if (t[k] == C::EN && lastStrong == C::AL) t[k] = C::AN;
        }
        for (C& type : t) {
            if (type == C::AL) type = C::R;
        }
        // W4.
        for (std::size_t k = 1; k + 1 < count; ++k) {
            if (t[k] == C::ES && t[k - 1] == C::EN && t[k + 1] == C::EN) {
                t[k] = C::EN;
            } else if (t[k] == C::CS && t[k - 1] == t[k + 1] && (t[k - 1] == C::EN || t[k - 1] == C::AN)) {
                t[k] = t[k - 1];
            }
        }
        // W5.
        for (std::size_t k = 0; k < count;) {
            if (t[k] != C::ET) {
                ++k;
                continue;
            }
            std::size_t end = k;
            while (end < count && t[end] == C::ET) ++end;
            if ((k > 0 && t[k - 1] == C::EN) || (end < count && t[end] == C::EN)) {
                std::fill(t.begin() + static_cast<std::ptrdiff_t>(k), t.begin() + static_cast<std::ptrdiff_t>(end), C::EN);
            }
            k = end;
        }
        // W6, W7.
        lastStrong = sos;
        for (C& type : t) {
            if (type == C::ES || type == C::ET || type == C::CS) type = C::ON;
            if (type == C::L || type == C::R) lastStrong = type;
            if (type == C::EN && lastStrong == C::L) type = C::L;
        }

        const C embedding = directionOfLevel(level);
        resolveBrackets(sequence, t, sos, embedding);

        // N1, N2.
        for (std::size_t k = 0; k < count;) {
            if (!isNeutralOrIsolate(t[k])) {
                ++k;
                continue;
            }
            std::size_t end = k;
            while (end < count && isNeutralOrIsolate(t[end])) ++end;
            const C before = k == 0 ? sos : strongDirection(t[k - 1]);
            const C after = end == count ? eos : strongDirection(t[end]);
            const C resolved = before == after ? before : embedding;
            std::fill(t.begin() + static_cast<std::ptrdiff_t>(k), t.begin() + static_cast<std::ptrdiff_t>(end), resolved);
            k = end;
        }

        // I1, I2.
        for (std::size_t k = 0; k < count; ++k) {
            int& resolvedLevel = result_.levels[sequence[k]];
            if ((resolvedLevel & 1) == 0) {
                if (t[k] == C::R) resolvedLevel += 1;
                if (t[k] == C::EN || t[k] == C::AN) resolvedLevel += 2;
            } else if (t[k] == C::L || t[k] == C::EN || t[k] == C::AN) {
                resolvedLevel += 1;
            }
        }
    }

    // BD16 and N0: paired brackets take the embedding direction when it is
    // inside them, else the opposite direction when both inside and before.
    void resolveBrackets(const std::vector<std::size_t>& sequence, std::vector<C>& t, C sos, C embedding)
    {
        struct Pair {
            std::size_t open;
            std::size_t close;
        };
        std::vector<Pair> pairs;
        std::vector<std::pair<char32_t, std::size_t>> openers;
        for (std::size_t k = 0; k < sequence.size(); ++k) {
            char32_t counterpart = 0;
            bool opening = false;
            if (t[k] != C::ON || !pairedBracket(text_[sequence[k]], counterpart, opening)) continue;
            if (opening) {
                if (openers.size() == kMaxBracketDepth) break;
                openers.emplace_back(canonicalBracket(counterpart), k);
                continue;
            }
            const char32_t closing = canonicalBracket(text_[sequence[k]]);
            for (std::size_t s = openers.size(); s-- > 0;) {
                if (openers[s].first == closing) {
                    pairs.push_back({openers[s].second, k});
                    openers.resize(s);
                    break;
                }
            }
        }
        std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) { return a.open < b.open; });

        const C opposite = embedding == C::L ? C::R : C::L;
        for (const Pair& pair : pairs) {
            bool hasEmbedding = false;
            bool hasOpposite = false;
            for (std::size_t k = pair.open + 1; k < pair.close; ++k) {
                const C strong = strongDirection(t[k]);
                hasEmbedding = hasEmbedding || strong == embedding;
                hasOpposite = hasOpposite || strong == opposite;
            }
            C resolved = C::ON;
            if (hasEmbedding) {
                resolved = embedding;
            } else if (hasOpposite) {
                C context = sos;
                for (std::size_t k = pair.open; k-- > 0;) {
                    const C strong = strongDirection(t[k]);
                    if (strong != C::ON) {
                        context = strong;
                        break;
                    }
                }
                resolved = context == opposite ? opposite : embedding;
            }
            if (resolved == C::ON) continue;
            for (const std::size_t bracket : {pair.open, pair.close}) {
                t[bracket] = resolved;
                // Marks on a bracket follow it (they took its ON in W1).
                for (std::size_t k = bracket + 1; k < sequence.size() && original_[sequence[k]] == C::NSM; ++k) {
                    t[k] = resolved;
                }
            }
        }
    }

    // L1: separators, and white space and isolate controls before them or at
    // the end of the line, go back to the paragraph level. Removed
    // characters are marked as such.
    void lineLevels()
    {
        bool trailing = true;
        for (std::size_t i = n_; i-- > 0;) {
            const C c = original_[i];
            if (c == C::S || c == C::B) {
                result_.levels[i] = result_.paragraphLevel;
                trailing = true;
            } else if (isRemovedByX9(c)) {
                // skipped over, whatever they stand between
            } else if (c == C::WS || isIsolateInitiator(c) || c == C::PDI) {
                if (trailing) result_.levels[i] = result_.paragraphLevel;
            } else {
                trailing = false;
            }
        }
        for (std::size_t i = 0; i < n_; ++i) {
            if (isRemovedByX9(original_[i])) result_.levels[i] = kRemovedLevel;
        }
    }

    std::u32string_view text_;
    std::size_t n_;
    std::vector<C> original_;
    std::vector<C> types_;
    std::vector<std::size_t> matchingPdi_;
    std::vector<bool> matchedByInitiator_;
    // The levels X1-X8 gave: sos and eos compare these, not levels already
    // raised by another sequence's implicit rules.
    std::vector<int> explicitLevels_;
    BidiLevels result_;
};

}  // namespace

BidiLevels resolveBidiLevels(std::u32string_view text, ParagraphDirection direction)
{
    return Resolver(text, direction).run();
}

std::vector<std::size_t> visualOrder(const BidiLevels& resolved)
{
    std::vector<std::size_t> order;
    int highest = 0;
    int lowestOdd = kMaxDepth + 2;
    for (std::size_t i = 0; i < resolved.levels.size(); ++i) {
        const int level = resolved.levels[i];
        if (level == kRemovedLevel) continue;
        order.push_back(i);
        highest = std::max(highest, level);
        if (level & 1) lowestOdd = std::min(lowestOdd, level);
    }
    for (int level = highest; level >= lowestOdd; --level) {
        for (std::size_t k = 0; k < order.size();) {
            if (resolved.levels[order[k]] < level) {
                ++k;
                continue;
            }
            std::size_t end = k;
            while (end < order.size() && resolved.levels[order[end]] >= level) ++end;
            std::reverse(order.begin() + static_cast<std::ptrdiff_t>(k), order.begin() + static_cast<std::ptrdiff_t>(end));
            k = end;
        }
    }
    return order;
}

}  // namespace Velmor
