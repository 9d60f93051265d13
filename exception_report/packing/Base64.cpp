#include "packing/Base64.h"

#include <array>
#include <cstdint>

namespace RevavaRez {

namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Every byte has a value, so no input character can index outside the table.
constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 64; ++i) table[static_cast<uint8_t>(Alphabet[i])] = static_cast<uint8_t>(i);
  return table;
}
constexpr std::array<uint8_t, 256> DecodeTable = MakeDecodeTable();

}  // namespace

size_t EncodedSize(size_t n) { return (n + 2) / 3 * 4; }

size_t DecodedSize(const std::string& text) {
  size_t length = text.size();
  if (length == 0 || length % 4 != 0) return 0;
  size_t size = length / 4 * 3;
  if (text[length - 2] == '=')
    size -= 2;
  else if (text[length - 1] == '=')
    size -= 1;
  return size;
}

std::string Base64Encode(const void* buffer, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  std::string result;
  result.reserve(EncodedSize(size));
  size_t at = 0;
  for (; at + 3 <= size; at += 3) {
    uint32_t group = uint32_t(bytes[at]) << 16 | uint32_t(bytes[at + 1]) << 8 | bytes[at + 2];
    result += Alphabet[group >> 18];
    result += Alphabet[(group >> 12) & 63];
    result += Alphabet[(group >> 6) & 63];
    result += Alphabet[group & 63];
  }
  if (size - at == 1) {
    uint32_t group = uint32_t(bytes[at]) << 16;
    result += Alphabet[group >> 18];
    result += Alphabet[(group >> 12) & 63];
    result += "==";
  } else if (size - at == 2) {
    uint32_t group = uint32_t(bytes[at]) << 16 | uint32_t(bytes[at + 1]) << 8;
    result += Alphabet[group >> 18];
    result += Alphabet[(group >> 12) & 63];
    result += Alphabet[(group >> 6) & 63];
    result += '=';
  }
  return result;
}

std::string Base64Encode(const std::string& text) { return Base64Encode(text.data(), text.size()); }

std::string Base64Decode(const std::string& text) {
  std::string result(DecodedSize(text), '.');
  size_t out = 0;
  for (size_t at = 0; at + 4 <= text.size() && out < result.size(); at += 4) {
    uint32_t group = 0;
    for (size_t i = 0; i < 4; ++i) group = group << 6 | DecodeTable[static_cast<uint8_t>(text[at + i])];
    const uint8_t bytes[3] = {uint8_t(group >> 16), uint8_t(group >> 8), uint8_t(group)};
    // The padding of the last group shortens the output that DecodedSize
    // already sized, so the bound is the output's own length.
    for (size_t i = 0; i < 3 && out < result.size(); ++i) result[out++] = static_cast<char>(bytes[i]);
  }
  return result;
}

}  // namespace RevavaRez
