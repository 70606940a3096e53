#pragma once
// The colours of a line as runs, and the arithmetic on them: painting a stretch over them,
// tidying what a caller gave, moving them with an edit of the line's text, cutting out a
// part. Offsets are within the line; no widgets here.
//
// The kept form of a line's runs: non-black, in order, not overlapping, and adjacent runs
// of one colour merged. Every function here that returns runs returns them in that form.

#include <QList>

#include <cstdint>

namespace quillbox::colouring {

// Colours as 0x00BBGGRR.
inline constexpr std::uint32_t kBlack = 0x000000;
inline constexpr std::uint32_t kCommentGreen = 0x008000;
inline constexpr std::uint32_t kKeywordNavy = 0x800000;
inline constexpr std::uint32_t kColourBits = 0xFFFFFF;

// A stretch of a line in one colour.
struct ColourRun {
    int start = 0;
    int length = 0;
    std::uint32_t bgr = kBlack;
    friend bool operator==(const ColourRun &, const ColourRun &) = default;
};
using ColourRuns = QList<ColourRun>;

inline int endOf(const ColourRun &run)
{
    return run.start + run.length;
}

// Appends a stretch that starts at or behind the end of the last run, merged with that run
// when they touch and share a colour. Empty and black stretches add nothing.
void appendRun(ColourRuns &runs, int start, int length, std::uint32_t bgr);

// The runs with [from, to) painted in one colour (black clears it).
ColourRuns paintOver(const ColourRuns &runs, int from, int to, std::uint32_t bgr);

// Any runs, for a line of `length` characters, in the kept form: clipped to the line, the
// top byte of a colour dropped, and where runs overlap the later one wins. Runs already in
// that form are shared, not copied.
ColourRuns cleanRuns(const ColourRuns &runs, int length);

// The runs after `removed` characters at `at` became `added` characters of colour `bgr`.
// Without `keepTail` everything behind the edit is dropped.
ColourRuns spliceRuns(const ColourRuns &runs, int at, int removed, int added, std::uint32_t bgr, bool keepTail);

// The part of the runs within [from, to), in offsets from `from`.
ColourRuns runsWithin(const ColourRuns &runs, int from, int to);

// The colour at an offset.
std::uint32_t colourIn(const ColourRuns &runs, int at);

} // namespace quillbox::colouring
