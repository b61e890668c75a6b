// Untrusted text (paths, tag texts) made safe to print: valid UTF-8 for JSON, no control
// characters for a terminal.
//
// Paths are bytes, and a tag text can hold any character, escape (0x1B) and newline
// included. Printed raw, such a text could drive the reader's terminal (colours, cursor
// moves, a changed window title) or make one field read as two lines; and a byte that is
// not UTF-8 makes a JSON document invalid for a strict parser.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane::cli {

// The length (1 to 4) of the well-formed UTF-8 sequence that starts at text[at], or 0 when
// the byte there starts none: a stray continuation byte, an overlong form, a surrogate
// (U+D800..U+DFFF), a code point above U+10FFFF, or a sequence cut short. at < text.size().
size_t Utf8SequenceLength(const std::string& text, size_t at);

// The code point of the well-formed sequence of length bytes at text[at].
uint32_t Utf8CodePoint(const std::string& text, size_t at, size_t length);

// text for a terminal line: C0 controls and DEL as "\n", "\r", "\t" or "\xNN", C1 controls
// (U+0080..U+009F) as "\u0080".."\u009f", and each byte that is not part of well-formed
// UTF-8 as "\xNN". Every other character, backslash included, is kept as it is.
std::string TerminalText(const std::string& text);

}  // namespace corvane::cli
