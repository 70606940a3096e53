#include "colouring/colourruns.h"

#include <algorithm>

namespace quillbox::colouring {

void appendRun(ColourRuns &runs, int start, int length, std::uint32_t bgr)
{
    if (length <= 0 || bgr == kBlack)
        return;
    if (!runs.isEmpty()) {
        ColourRun &last = runs.last();
        if (last.bgr == bgr && endOf(last) == start) {
            last.length += length;
            return;
        }
    }
    runs.append(ColourRun{start, length, bgr});
}

ColourRuns paintOver(const ColourRuns &runs, int from, int to, std::uint32_t bgr)
{
    ColourRuns result;
    result.reserve(runs.size() + 2);
    for (const ColourRun &run : runs)
        appendRun(result, run.start, std::min(endOf(run), from) - run.start, run.bgr);
    appendRun(result, from, to - from, bgr);
    for (const ColourRun &run : runs) {
        const int start = std::max(run.start, to);
        appendRun(result, start, endOf(run) - start, run.bgr);
    }
    return result;
}

ColourRuns cleanRuns(const ColourRuns &runs, int length)
{
    int end = 0;
    std::uint32_t previous = kBlack;
    bool clean = true;
    for (const ColourRun &run : runs) {
        const bool touches = run.start == end && run.start > 0;
        if (run.length <= 0 || run.start < end || qint64(run.start) + run.length > length || run.bgr == kBlack
            || run.bgr > kColourBits || (touches && run.bgr == previous)) {
            clean = false;
            break;
        }
        end = endOf(run);
        previous = run.bgr;
    }
    if (clean)
        return runs;
    ColourRuns result;
    for (const ColourRun &run : runs) {
        const int from = std::clamp(run.start, 0, length);
        const int to = run.length > 0 ? int(std::clamp<qint64>(qint64(run.start) + run.length, from, length)) : from;
        if (to > from)
            result = paintOver(result, from, to, run.bgr & kColourBits);
    }
    return result;
}

ColourRuns spliceRuns(const ColourRuns &runs, int at, int removed, int added, std::uint32_t bgr, bool keepTail)
{
    ColourRuns result;
    result.reserve(runs.size() + 1);
    for (const ColourRun &run : runs)
        appendRun(result, run.start, std::min(endOf(run), at) - run.start, run.bgr);
    appendRun(result, at, added, bgr);
    if (keepTail) {
        const int gone = at + removed;
        for (const ColourRun &run : runs) {
            const int start = std::max(run.start, gone);
            appendRun(result, start + added - removed, endOf(run) - start, run.bgr);
        }
    }
    return result;
}

ColourRuns runsWithin(const ColourRuns &runs, int from, int to)
{
    ColourRuns result;
    // The runs are in order and do not overlap, so their ends are in order too.
    auto it = std::upper_bound(runs.cbegin(), runs.cend(), from,
                               [](int offset, const ColourRun &run) { return offset < endOf(run); });
    for (; it != runs.cend() && it->start < to; ++it) {
        const int start = std::max(it->start, from);
        appendRun(result, start - from, std::min(endOf(*it), to) - start, it->bgr);
    }
    return result;
}

std::uint32_t colourIn(const ColourRuns &runs, int at)
{
    // The last run starting at or before `at`.
    auto it = std::upper_bound(runs.cbegin(), runs.cend(), at,
                               [](int offset, const ColourRun &run) { return offset < run.start; });
    if (it == runs.cbegin())
        return kBlack;
    --it;
    return at < endOf(*it) ? it->bgr : kBlack;
}

} // namespace quillbox::colouring
