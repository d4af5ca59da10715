#pragma once

// How the 64-bit program and the 32-bit upgrade relay talk; shared by the
// relay (no Qt) and the program's bridge.
//
// Command line: RELAY LIBRARY --probe
//               RELAY LIBRARY COUNT SWITCH1 VALUE1 SWITCH2 VALUE2
// LIBRARY is the library's path; COUNT is decimal; the four texts are the
// hexadecimal digits of their exact bytes, so paths keep every byte
// whatever the code pages of the two processes.
//
// Standard output carries records: a tag byte, a 32-bit little-endian
// length, then that many bytes.

namespace RelayProtocol {

constexpr char kProgram[] = "lumora-upgrade-relay.exe";
constexpr char kProbe[] = "--probe";

// One library message as formatted, up to its first zero byte.
constexpr char kMessage = 'M';
// The call's returned text: one byte, 1 for a text and 0 for a null
// pointer, then the text.
constexpr char kReturned = 'R';

constexpr int kHeaderBytes = 5;
// A message holds at most this many bytes; longer ones are cut.
constexpr int kMessageBytes = 1023;

enum Exit
{
    Called = 0, // the library was called (or, probing, could be)
    NotLoaded = 2,
    NoEntryPoint = 3,
    LostProgram = 4, // the program stopped reading
    Usage = 64
};

} // namespace RelayProtocol
