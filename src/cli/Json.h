// A small JSON writer for the command-line tool's machine-readable output.
#pragma once

#include <string>

namespace corvane::cli {

// text as a JSON string literal (quotes included). Well-formed UTF-8 passes through; each
// byte that is not part of a well-formed UTF-8 sequence becomes U+FFFD, written "\ufffd", so
// the result is valid JSON whatever the bytes of a path or a tag. Quote, backslash and the
// controls below 0x20 are escaped.
std::string JsonString(const std::string& text);

}  // namespace corvane::cli
