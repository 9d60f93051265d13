#pragma once
// Standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks) for mail
// authentication, attachments, the basic authorisation header and the coded
// names of the log file. Byte-level only.
#include <cstddef>
#include <string>

namespace RevavaRez {

// 4 x ceil(n / 3).
size_t EncodedSize(size_t n);
// 0 when the text's length is 0 or not a multiple of 4; else the bytes that
// its padding leaves.
size_t DecodedSize(const std::string& text);

std::string Base64Encode(const void* buffer, size_t size);
std::string Base64Encode(const std::string& text);
// Characters outside the alphabet decode as 0 bits; nothing is validated.
std::string Base64Decode(const std::string& text);

}  // namespace RevavaRez
