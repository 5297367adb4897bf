// platform/text_codec.h
#pragma once
#include <string>
#include <string_view>

namespace platform {

// Game texts are bytes in code page 932 (Shift-JIS with the vendor
// extensions). These convert them for the outside world and back.
// Bytes that do not decode become U+FFFD (one per bad byte) and code points
// that code page 932 cannot hold become '?', so a conversion never fails
// and never loses the rest of the text.

std::string cp932ToUtf8(std::string_view cp932);
std::u32string cp932ToUtf32(std::string_view cp932);
// The same into `out`, whose storage is reused: a text that fits its
// capacity converts without allocating.
void cp932ToUtf32(std::string_view cp932, std::u32string& out);
std::string utf8ToCp932(std::string_view utf8);
std::string utf32ToUtf8(std::u32string_view text);

// True when the bytes are well-formed UTF-8 (plain ASCII included).
bool isUtf8(std::string_view bytes);

// UTF-8 for display from a text that may be either encoding: valid UTF-8
// is kept, anything else is read as code page 932.
std::string displayText(std::string_view text);

}  // namespace platform
