#pragma once
// Text for a terminal or a UTF-8 file: the programs' own texts and file names are UTF-8
// already, while the strings read from SEG-2 files are often 8-bit Latin-1.

#include <string>
#include <string_view>

namespace quarvent {

// Text as UTF-8: every well-formed UTF-8 sequence is kept as it is; each other byte is read
// as Latin-1 and converted.
std::string as_utf8(std::string_view text);

// True when text is well-formed UTF-8 throughout: as_utf8 then leaves it as it is.
bool is_utf8(std::string_view text);

// The bytes of text as lowercase hexadecimal digits, two a byte: a name that is not UTF-8
// given exactly, beside its as_utf8 form, to a program that reads JSON.
std::string hex_bytes(std::string_view text);

}  // namespace quarvent
