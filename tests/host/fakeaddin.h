#pragma once
// What the tests know of the fake add-in module: its class ids, its ProgID and where it
// writes down what its host asked of it.
//
// The module serves a family of classes told apart by the last byte of data1 (the tag).
// Each connection object appends lines "<tag> <event>" to the file named by
// $QBX_FAKE_ADDIN_LOG: "OnConnection <mode>", "OnDisconnection <mode>",
// "OnStartupComplete", "OnAddInsUpdate", "OnBeginShutdown", "Click handled=<0|1>", and
// "Failed <step>: <description>" when a call on the host fails. On connection it adds a
// button "Fake Add-In <tag>" to the "Add-Ins" bar and listens to its clicks; on
// disconnection it stops listening and deletes the button.

#include "qbx/com.h"

namespace fake {

inline constexpr const char *kLogVariable = "QBX_FAKE_ADDIN_LOG";

constexpr qbx::Guid classId(std::uint8_t tag)
{
    return {0xFA4E0000u | tag, 0x1D2C, 0x4B3A, {0x9E, 0x8F, 0x70, 0x61, 0x52, 0x43, 0x34, 0x25}};
}

// Tags with a behaviour of their own; every other tag below 0xF0 is an ordinary add-in.
inline constexpr std::uint8_t kFactoryFails = 0xF1;    // CreateInstance fails
inline constexpr std::uint8_t kConnectionFails = 0xF2; // OnConnection fails with a description
inline constexpr std::uint8_t kUnknownClass = 0xF9;    // DllGetClassObject does not know it

// What DllRegisterServer writes (tag 0).
inline constexpr const char *kProgId = "QuillboxTest.FakeAddIn";
inline constexpr const char *kFriendlyName = "Fake Add-In";
inline constexpr const char *kDescription = "Records what its host asks of it.";

} // namespace fake
