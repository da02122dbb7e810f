#include "engine/PatternSet.h"

#include <algorithm>
#include <stdexcept>

#include "platform/AsciiCase.h"

namespace kx {

namespace {

bool FoldedLess(const Text* a, const Text* b) {
    const std::size_t n = std::min(a->size(), b->size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = FoldAsciiUpper((*a)[i]);
        const char16_t y = FoldAsciiUpper((*b)[i]);
        if (x != y) return x < y;
    }
    return a->size() < b->size();
}

std::size_t FoldedCommonPrefix(const Text& a, const Text& b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    while (i < n && FoldAsciiUpper(a[i]) == FoldAsciiUpper(b[i])) ++i;
    return i;
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

void PatternSet::Build(const std::vector<const Text*>& patterns) {
    Clear();
    // Sorted in folded order, each pattern once: the patterns below a state
    // of the trie are then one run, their next characters in order.
    std::vector<const Text*> sorted;
    for (const Text* pattern : patterns) {
        if (!pattern->empty()) sorted.push_back(pattern);
    }
    if (sorted.empty()) return;
    std::sort(sorted.begin(), sorted.end(), FoldedLess);
    sorted.erase(std::unique(sorted.begin(), sorted.end(),
                             [](const Text* a, const Text* b) { return !FoldedLess(a, b) && !FoldedLess(b, a); }),
                 sorted.end());

    // The states, counted first so that every array is allocated once at its size.
    std::size_t states = 1 + sorted[0]->size();
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        states += sorted[i]->size() - FoldedCommonPrefix(*sorted[i - 1], *sorted[i]);
    }
    if (states >= kMatch) throw std::length_error("too many pattern characters");
    firstEdge_.reserve(states + 1);
    label_.reserve(states - 1);
    link_.assign(states, 0);

    // The trie, breadth first: each state of one depth is the run of sorted
    // patterns that share its prefix; its edges go to the runs that share one
    // more character, numbered in the order they are made.
    struct Run {
        std::uint32_t begin;
        std::uint32_t end;
    };
    std::vector<Run> level = {{0, static_cast<std::uint32_t>(sorted.size())}};
    std::vector<Run> next;
    std::uint32_t state = 0;
    for (std::size_t depth = 0; !level.empty(); ++depth) {
        next.clear();
        for (const Run& run : level) {
            firstEdge_.push_back(static_cast<std::uint32_t>(label_.size()));
            std::uint32_t at = run.begin;
            // A pattern that ends here sorts before the longer ones of its run.
            if (sorted[at]->size() == depth) {
                link_[state] |= kMatch;
                ++at;
            }
            while (at < run.end) {
                const char16_t label = FoldAsciiUpper((*sorted[at])[depth]);
                std::uint32_t end = at + 1;
                while (end < run.end && FoldAsciiUpper((*sorted[end])[depth]) == label) ++end;
                label_.push_back(label);
                next.push_back({at, end});
                at = end;
            }
            ++state;
        }
        level.swap(next);
    }
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

bool PatternSet::FoundIn(const Text& text) const {
    if (Empty()) return false;
    std::uint32_t state = 0;
    for (const char16_t raw : text) {
        state = Next(state, FoldAsciiUpper(raw));
        if ((link_[state] & kMatch) != 0) return true;
    }
    return false;
}

}  // namespace kx
