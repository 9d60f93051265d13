#include "packing/Encryption.h"

#include <cstring>

namespace RevavaRez {

namespace {

// Decryption runs only inside exception processing and module start-up, one
// at a time, so the key and the register are the module's, unguarded.
uint32_t Key[4];
uint8_t ChainRegister[8];

constexpr uint32_t Delta = 0x9E3779B9u;

uint32_t ReadBigEndian(const uint8_t* bytes) {
  return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | bytes[3];
}

void WriteBigEndian(uint8_t* bytes, uint32_t value) {
  bytes[0] = uint8_t(value >> 24);
  bytes[1] = uint8_t(value >> 16);
  bytes[2] = uint8_t(value >> 8);
  bytes[3] = uint8_t(value);
}

uint32_t ReadLittleEndian(const uint8_t* bytes) {
  return bytes[0] | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
}

struct TMD5State {
  uint32_t State[4] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u};
};

constexpr uint32_t Sines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr unsigned Shifts[16] = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

void MD5Transform(TMD5State& md5, const uint8_t block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = ReadLittleEndian(block + 4 * i);
  uint32_t a = md5.State[0], b = md5.State[1], c = md5.State[2], d = md5.State[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    switch (i / 16) {
      case 0:
        f = (b & c) | (~b & d);
        g = i;
        break;
      case 1:
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
        break;
    }
    uint32_t rotated = RotateWordLeft(a + f + Sines[i] + x[g], Shifts[(i / 16) * 4 + i % 4]);
    a = d;
    d = c;
    c = b;
    b += rotated;
  }
  md5.State[0] += a;
  md5.State[1] += b;
  md5.State[2] += c;
  md5.State[3] += d;
  // The working block held plain key material.
  volatile uint32_t* clear = x;
  for (int i = 0; i < 16; ++i) clear[i] = 0;
}

}  // namespace

uint32_t RotateWordLeft(uint32_t value, unsigned count) {
  count &= 31;
  return count == 0 ? value : (value << count) | (value >> (32 - count));
}

void XorBytes(uint8_t* target, const uint8_t* source, size_t count) {
  for (size_t i = 0; i < count; ++i) target[i] ^= source[i];
}

uint32_t ReverseWordBytes(uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0xFF00u) | ((value << 8) & 0xFF0000u) | (value << 24);
}

void MD5Digest(const void* data, size_t length, uint8_t digest[16]) {
  TMD5State md5;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  size_t whole = length / 64 * 64;
  for (size_t at = 0; at < whole; at += 64) MD5Transform(md5, bytes + at);
  uint8_t tail[128] = {};
  size_t rest = length - whole;
  if (rest) std::memcpy(tail, bytes + whole, rest);
  tail[rest] = 0x80;
  size_t tailSize = rest < 56 ? 64 : 128;
  uint64_t bits = uint64_t(length) * 8;
  for (int i = 0; i < 8; ++i) tail[tailSize - 8 + i] = uint8_t(bits >> (8 * i));
  for (size_t at = 0; at < tailSize; at += 64) MD5Transform(md5, tail + at);
  std::memset(tail, 0, sizeof tail);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = uint8_t(md5.State[i] >> (8 * j));
}

void SetEncryptionKey(const std::string& password) {
  uint8_t digest[16];
  MD5Digest(password.data(), password.size(), digest);
  for (int i = 0; i < 4; ++i) Key[i] = ReadBigEndian(digest + 4 * i);
}

void EncryptionKey(uint32_t key[4]) { std::memcpy(key, Key, sizeof Key); }

void SetEncryptionKeyWords(const uint32_t key[4]) { std::memcpy(Key, key, sizeof Key); }

void TEAEncryptBlock(const uint8_t in[8], uint8_t out[8]) {
  uint32_t y = ReadBigEndian(in), z = ReadBigEndian(in + 4), sum = 0;
  for (int cycle = 0; cycle < 32; ++cycle) {
    sum += Delta;
    y += (z << 4) + (z ^ Key[0]) + ((z >> 5) ^ sum) + Key[1];
    z += (y << 4) + (y ^ Key[2]) + ((y >> 5) ^ sum) + Key[3];
  }
  WriteBigEndian(out, y);
  WriteBigEndian(out + 4, z);
}

void TEADecryptBlock(const uint8_t in[8], uint8_t out[8]) {
  uint32_t y = ReadBigEndian(in), z = ReadBigEndian(in + 4), sum = Delta * 32u;
  for (int cycle = 0; cycle < 32; ++cycle) {
    z -= (y << 4) + (y ^ Key[2]) + ((y >> 5) ^ sum) + Key[3];
    y -= (z << 4) + (z ^ Key[0]) + ((z >> 5) ^ sum) + Key[1];
    sum -= Delta;
  }
  WriteBigEndian(out, y);
  WriteBigEndian(out + 4, z);
}

namespace {

void XorTail(const uint8_t* in, uint8_t* out, size_t count) {
  TEAEncryptBlock(ChainRegister, ChainRegister);
  for (size_t i = 0; i < count; ++i) out[i] = in[i] ^ ChainRegister[i];
}

}  // namespace

void DecryptBuffer(const void* in, void* out, size_t length) {
  const uint8_t* source = static_cast<const uint8_t*>(in);
  uint8_t* target = static_cast<uint8_t*>(out);
  std::memset(ChainRegister, EncryptionIVByte, sizeof ChainRegister);
  size_t at = 0;
  for (; at + 8 <= length; at += 8) {
    uint8_t cipher[8], plain[8];
    std::memcpy(cipher, source + at, 8);  // in and out may overlap
    TEADecryptBlock(cipher, plain);
    XorBytes(plain, ChainRegister, 8);
    std::memcpy(target + at, plain, 8);
    std::memcpy(ChainRegister, cipher, 8);
  }
  if (at < length) XorTail(source + at, target + at, length - at);
}

void EncryptBuffer(const void* in, void* out, size_t length) {
  const uint8_t* source = static_cast<const uint8_t*>(in);
  uint8_t* target = static_cast<uint8_t*>(out);
  std::memset(ChainRegister, EncryptionIVByte, sizeof ChainRegister);
  size_t at = 0;
  for (; at + 8 <= length; at += 8) {
    uint8_t block[8];
    std::memcpy(block, source + at, 8);
    XorBytes(block, ChainRegister, 8);
    TEAEncryptBlock(block, ChainRegister);
    std::memcpy(target + at, ChainRegister, 8);
  }
  if (at < length) XorTail(source + at, target + at, length - at);
}

}  // namespace RevavaRez
