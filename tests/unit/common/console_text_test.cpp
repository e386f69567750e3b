// Text as the batch program writes it: UTF-8 kept, every other byte read as Latin-1.

#include "common/console_text.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarvent {
namespace {

TEST(console_text, utf8_is_kept_and_other_bytes_are_latin1) {
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"ASCII", "a.sg2\r\n", "a.sg2\r\n"},
        {"two-byte letters", "d\xC3\xADr/Schu\xC3\x9F", "d\xC3\xADr/Schu\xC3\x9F"},
        {"three and four bytes", "\xE2\x82\xAC \xF0\x9F\x8C\x8A", "\xE2\x82\xAC \xF0\x9F\x8C\x8A"},
        {"Latin-1 letters", "caf\xE9 \xE9t\xE9", "caf\xC3\xA9 \xC3\xA9t\xC3\xA9"},
        {"Latin-1 at the end", "\xDF", "\xC3\x9F"},
        {"lone continuation byte", "\xA9", "\xC2\xA9"},
        {"overlong form", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
        {"cut short", "\xE2\x82", "\xC3\xA2\xC2\x82"},
        {"both in one text", "Schu\xC3\x9F \xE9", "Schu\xC3\x9F \xC3\xA9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(as_utf8(c.in), c.out);
        // A text is UTF-8 exactly when the conversion leaves it as it is.
        EXPECT_EQ(is_utf8(c.in), c.in == c.out);
    }
}

TEST(console_text, hex_bytes_gives_two_lowercase_digits_a_byte) {
    EXPECT_EQ(hex_bytes(std::string("caf\xE9\x00\x7F", 6)), "636166e9007f");
    EXPECT_EQ(hex_bytes(""), "");
}

}  // namespace
}  // namespace quarvent
