#pragma once
// What the host's tests know of the fake add-in module: its class ids and what it writes
// down of its host's calls.
//
// The module serves a family of classes told apart by the last byte of data1 (the tag).
// Each connection object appends "<tag> <event>" to the list the module's FakeAddInLog()
// returns: "OnConnection <mode>", "OnDisconnection <mode>", "OnStartupComplete",
// "OnAddInsUpdate" and "OnBeginShutdown".

#include "host/com.h"

namespace fake {

constexpr qbx::Guid classId(std::uint8_t tag)
{
    return {0xFA4E0000u | tag, 0x1D2C, 0x4B3A, {0x9E, 0x8F, 0x70, 0x61, 0x52, 0x43, 0x34, 0x25}};
}

// The one tag with a behaviour of its own; every other tag is an ordinary add-in.
inline constexpr std::uint8_t kConnectionFails = 0xF2; // OnConnection fails with a description

} // namespace fake
