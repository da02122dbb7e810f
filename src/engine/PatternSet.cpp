#include "engine/PatternSet.h"

#include <algorithm>
#include <stdexcept>

#include "platform/AsciiCase.h"

namespace kx {

namespace {

// A pattern's key at a depth of the trie: its folded character there, or -1
// where it ends, which sorts it before the patterns that go on.
std::int32_t KeyAt(const Text* pattern, std::size_t depth) {
    return pattern->size() == depth ? -1 : FoldAsciiUpper((*pattern)[depth]);
}

}  // namespace

void PatternSet::Clear() {
    // Given back whole: a list at its caps holds megabytes here.
    std::vector<std::uint32_t>().swap(firstEdge_);
    std::vector<std::uint32_t>().swap(link_);
    std::vector<char16_t>().swap(label_);
}

std::uint32_t PatternSet::Step(std::uint32_t state, char16_t label) const {
    const auto begin = label_.begin() + firstEdge_[state];
    const auto end = label_.begin() + firstEdge_[state + 1];
    const auto found = std::lower_bound(begin, end, label);
    if (found == end || *found != label) return kNone;
    return static_cast<std::uint32_t>(found - label_.begin()) + 1;
}

std::uint32_t PatternSet::Next(std::uint32_t state, char16_t label) const {
    for (;;) {
        const std::uint32_t reached = Step(state, label);
        if (reached != kNone) return reached;
        if (state == 0) return 0;
        state = link_[state] & ~kMatch;
    }
}

std::size_t PatternSet::WalkTrie(std::vector<const Text*>& patterns, bool build) {
    // Breadth first: each state of one depth is the run of patterns that
    // share its prefix, and its edges go to the runs that share one more
    // character, numbered in the order they are made. A run is sorted only
    // by its patterns' characters at its depth, and not at all when they are
    // the same, so patterns that share a long prefix cost a pass apiece.
    // Counting, the runs are sorted; building, they are sorted already.
    struct Run {
        std::uint32_t begin;
        std::uint32_t end;
    };
    std::vector<Run> level = {{0, static_cast<std::uint32_t>(patterns.size())}};
    std::vector<Run> next;
    std::size_t states = 0;
    for (std::size_t depth = 0; !level.empty(); ++depth) {
        next.clear();
        for (const Run& run : level) {
            const auto first = patterns.begin() + run.begin;
            const auto last = patterns.begin() + run.end;
            const auto byKey = [depth](const Text* a, const Text* b) { return KeyAt(a, depth) < KeyAt(b, depth); };
            if (!build && !std::is_sorted(first, last, byKey)) std::sort(first, last, byKey);
            if (build) firstEdge_.push_back(static_cast<std::uint32_t>(label_.size()));
            std::uint32_t at = run.begin;
            for (; at < run.end && KeyAt(patterns[at], depth) < 0; ++at) {
                if (build) link_[states] |= kMatch;
            }
            while (at < run.end) {
                const std::int32_t key = KeyAt(patterns[at], depth);
                std::uint32_t end = at + 1;
                while (end < run.end && KeyAt(patterns[end], depth) == key) ++end;
                if (build) label_.push_back(static_cast<char16_t>(key));
                next.push_back({at, end});
                at = end;
            }
            ++states;
        }
        level.swap(next);
    }
    return states;
}

void PatternSet::Build(const std::vector<const Text*>& patterns) {
    Clear();
    std::vector<const Text*> order;
    for (const Text* pattern : patterns) {
        if (!pattern->empty()) order.push_back(pattern);
    }
    if (order.empty()) return;
    // Counted first, so that every array is allocated once at its size.
    const std::size_t states = WalkTrie(order, false);
    if (states >= kMatch) throw std::length_error("too many pattern characters");
    firstEdge_.reserve(states + 1);
    label_.reserve(states - 1);
    link_.assign(states, 0);
    WalkTrie(order, true);
    firstEdge_.push_back(static_cast<std::uint32_t>(label_.size()));

    // Failure links, breadth first, so a state's link is known before its
    // children's; a state matches when a pattern ends there or at its link.
    for (std::uint32_t parent = 0; parent + 1 < firstEdge_.size(); ++parent) {
        for (std::uint32_t edge = firstEdge_[parent]; edge < firstEdge_[parent + 1]; ++edge) {
            const std::uint32_t child = edge + 1;
            const std::uint32_t target = parent == 0 ? 0 : Next(link_[parent] & ~kMatch, label_[edge]);
            link_[child] = (link_[child] & kMatch) | target | (link_[target] & kMatch);
        }
    }
}

bool PatternSet::FoundIn(const Text& text) const { return FirstMatchEnd(text) != Text::npos; }

std::size_t PatternSet::FirstMatchEnd(const Text& text) const {
    if (Empty()) return Text::npos;
    std::uint32_t state = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        state = Next(state, FoldAsciiUpper(text[i]));
        if ((link_[state] & kMatch) != 0) return i;
    }
    return Text::npos;
}

}  // namespace kx
