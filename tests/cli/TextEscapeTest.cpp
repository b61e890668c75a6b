// Tests of the escaping of untrusted text: JSON strings that stay valid UTF-8, and terminal
// lines without control characters.
#include <gtest/gtest.h>

// The tool's sources are built into the program only; these two units are plain functions
// over strings, compiled here as they are.
#include "cli/Json.cpp"
#include "cli/TextEscape.cpp"

namespace corvane::cli {
namespace {

TEST(JsonString, ReplacesEachByteThatIsNotUtf8) {
    EXPECT_EQ(JsonString("\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x8e\xb5"), "\"\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x8e\xb5\"");
    EXPECT_EQ(JsonString("a\x80" "b\xff"), "\"a\\ufffdb\\ufffd\"");                          // stray bytes
    EXPECT_EQ(JsonString("\xc0\xaf|\xe0\x80\xaf|\xf0\x8f\xbf\xbf"),                          // overlongs
              "\"\\ufffd\\ufffd|\\ufffd\\ufffd\\ufffd|\\ufffd\\ufffd\\ufffd\\ufffd\"");
    EXPECT_EQ(JsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");                        // surrogate
    EXPECT_EQ(JsonString("\xf4\x90\x80\x80"), "\"\\ufffd\\ufffd\\ufffd\\ufffd\"");             // above U+10FFFF
    EXPECT_EQ(JsonString("\xf4\x8f\xbf\xbf"), "\"\xf4\x8f\xbf\xbf\"");                         // U+10FFFF itself
    EXPECT_EQ(JsonString("x\xe6\x97"), "\"x\\ufffd\\ufffd\"");                                 // cut short
    EXPECT_EQ(JsonString("\"\\\n\x1b\x7f"), "\"\\\"\\\\\\n\\u001b\x7f\"");
}

TEST(TerminalText, EscapesControlsAndKeepsPrintableText) {
    EXPECT_EQ(TerminalText("Ночь \"в\" 東京 \\ ok"), "Ночь \"в\" 東京 \\ ok");
    EXPECT_EQ(TerminalText("a\nb\rc\td\x1b[31m\x7f\x01"), "a\\nb\\rc\\td\\x1b[31m\\x7f\\x01");
    EXPECT_EQ(TerminalText("\xc2\x9b" "2J \xc2\x80 \xc2\x9f \xc2\xa0"), "\\u009b2J \\u0080 \\u009f \xc2\xa0");  // C1 controls
    EXPECT_EQ(TerminalText("bad\xff\x9b" "x\xe6\x97"), "bad\\xff\\x9bx\\xe6\\x97");
}

}  // namespace
}  // namespace corvane::cli
