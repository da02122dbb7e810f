// A set of patterns looked for in a text in one pass: an Aho-Corasick
// automaton over UTF-16 code units, with the ASCII letters folded in the
// patterns and in the text. Whatever the patterns hold, one search costs a
// step per character of the text (each with a binary search among the
// edges of one state), so a list of many rows that each almost match costs
// no more than one.
//
// The automaton is laid out compactly, since a block list at its caps may
// hold some four million pattern characters: the states are numbered in
// breadth-first order, the edges of each state lie together and sorted in
// one array, and edge e always leads to state e + 1, so a state costs ten
// bytes (its first edge, its failure link with the match mark, the label of
// the edge that leads to it).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Types.h"

namespace kx {

class PatternSet {
public:
    // Builds the automaton for these patterns; empty ones never match and
    // are left out. The patterns need not outlive the call.
    void Build(const std::vector<const Text*>& patterns);
    void Clear();

    // True when any pattern occurs in text, the letters A to Z matching in
    // either case and nothing else folded.
    bool FoundIn(const Text& text) const;
    // Where the first occurrence of any pattern ends (the index of its last
    // character), or Text::npos when none occurs.
    std::size_t FirstMatchEnd(const Text& text) const;

    bool Empty() const { return firstEdge_.size() <= 1; }
    // States of the automaton, the start state included (0 when empty).
    std::size_t States() const { return link_.size(); }

private:
    static constexpr std::uint32_t kMatch = 0x80000000u;
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
    // The state reached from state over label, or kNone.
    std::uint32_t Step(std::uint32_t state, char16_t label) const;
    // The state after label read in state: its edge, or that of the longest
    // suffix that has one, or the start state.
    std::uint32_t Next(std::uint32_t state, char16_t label) const;
    // Goes through the trie of the patterns breadth first: counting its
    // states (and ordering the patterns), or, once they are in order,
    // filling in the edges and the states where a pattern ends.
    std::size_t WalkTrie(std::vector<const Text*>& patterns, bool build);

    // Per state: the index of its first edge (one more entry marks the end of the last state's edges).
    std::vector<std::uint32_t> firstEdge_;
    // Per state: its failure link (the state of its longest proper suffix in
    // the trie), with kMatch set when a pattern ends here or at a suffix.
    std::vector<std::uint32_t> link_;
    // Per edge, sorted within a state: its folded label; edge e leads to state e + 1.
    std::vector<char16_t> label_;
};

}  // namespace kx
