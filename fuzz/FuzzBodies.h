// The bodies of the fuzz targets as plain functions, so the libFuzzer
// targets and a fixed-start unit test run the same checks. Each returns the
// empty text when every invariant held, else what went wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nami::fuzz {

// A new folder for a target's files, in memory (/dev/shm) where there is
// one, so a million runs do not wait for a disk; empty when none could be made.
std::string MakeFuzzDir(const char* prefix);

// Feeds the bytes to the receive tick (and, as chosen by the first bytes,
// partly to the keyboard echo) in pseudo-random chunks, checking after each
// chunk that no stored line exceeds 81 bytes (81 only to keep a two-byte
// character whole), that the current line and columns stay within the line
// buffer and that the store never holds more than its capacity.
std::string CheckReceive(const std::uint8_t* data, std::size_t size);

// Loads the bytes as a document file (first byte odd) or as a "Contents"
// stream (first byte even). A refused input must leave the store as it was
// and give a message; an accepted one must survive a save and load.
std::string CheckDocument(const std::uint8_t* data, std::size_t size);

// Feeds the bytes as a KISS stream (in pseudo-random chunks) to the deframer
// and every frame to the AX.25 decoder; a decoded frame must encode and decode
// back to itself and print as a monitor line. With the first byte odd, the
// frames are then readdressed from a peer to us and given to a connected
// data link whose clock jumps ahead between them: it must not crash, and
// whenever the link is not idle a timer must be set (a link that waits for
// nothing is stuck).
std::string CheckAx25(const std::uint8_t* data, std::size_t size);

// Feeds the bytes after the first (which picks the chunking) to the AGWPE
// decoder: a decoded frame must encode and decode back to itself, a refused
// stream must say why, and the decoder never holds a whole largest frame.
std::string CheckAgw(const std::uint8_t* data, std::size_t size);

// Serves the bytes after the first as a telnet server on loopback to the
// telnet far side, then closes: the text it delivers must be the bytes less
// the telnet commands (cut short only when it refused a negotiation flood),
// it may answer only with refusals, each once, and it must notice the end.
std::string CheckTelnet(const std::uint8_t* data, std::size_t size);

// Takes the bytes after the first as NAMI.INI, writes a value to a key the
// first byte picks: the value must read back exactly and every other key
// keep its value.
std::string CheckIni(const std::uint8_t* data, std::size_t size);

// Takes the bytes after the first as a mail log: read back into lines (none
// over the limit, none with a line end or NUL) and messages (the lines from
// the first read header on); one small log in 64 is also imported into the
// store twice, and the second import must add nothing.
std::string CheckImport(const std::uint8_t* data, std::size_t size);

}  // namespace nami::fuzz
