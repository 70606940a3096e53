#pragma once
// Shared by the colouring tests: the colours by name, and readable colour runs in failures.

#include "colouring/colourruns.h"

#include <ostream>

namespace quillbox::colouring {
inline void PrintTo(const ColourRun &run, std::ostream *os)
{
    *os << "{" << run.start << ", " << run.length << ", 0x" << std::hex << run.bgr << std::dec << "}";
}
} // namespace quillbox::colouring

using quillbox::colouring::ColourRun;
using quillbox::colouring::kBlack;
using Runs = quillbox::colouring::ColourRuns;
// 0x00BBGGRR
constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x008000, kBlue = 0xFF0000, kNavy = 0x800000;
