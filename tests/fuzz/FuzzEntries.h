#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What each fuzz target does with one input, shared by the libFuzzer drivers and the test
// that replays the kept inputs. Each returns an empty text, or what went wrong.
namespace FuzzEntries {

// Parses a profile file, writes it back, and applies the writes the input describes: a
// file must read back as it was read, and a write as it was written.
std::string profileFile(const uint8_t *data, size_t size);
// Code page 936 and the UTF encodings both ways: bytes survive decoding and encoding
// unchanged, and text that encodes decodes back to itself.
std::string codePage(const uint8_t *data, size_t size);
// song.ini and a playlist file of arbitrary bytes: read them, change the first task, and
// every other task must read back as before.
std::string taskStore(const uint8_t *data, size_t size);
// Bytes from a campus server, fed to the line framer in pieces the input chooses; every line
// read as a message and applied to the rooms. The framer never holds more than its bound,
// and the rooms stay within theirs: usable unique ids, short clean names, percent 0..100.
std::string snapcast(const uint8_t *data, size_t size);

} // namespace FuzzEntries
