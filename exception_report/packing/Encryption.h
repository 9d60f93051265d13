#pragma once
// The cipher of the library's coded data: a 128-bit key from the password's
// MD5 digest and a TEA-family block cipher of its own round, chained block by
// block with a stream rule for a short tail. Byte-level only.
#include <cstddef>
#include <cstdint>
#include <string>

namespace RevavaRez {

// RFC 1321.
void MD5Digest(const void* data, size_t length, uint8_t digest[16]);

// The module key: the password's digest read as four big-endian words.
void SetEncryptionKey(const std::string& password);
void EncryptionKey(uint32_t key[4]);
void SetEncryptionKeyWords(const uint32_t key[4]);

// One 8-byte block; in and out may be the same.
void TEAEncryptBlock(const uint8_t in[8], uint8_t out[8]);
void TEADecryptBlock(const uint8_t in[8], uint8_t out[8]);

// Cipher-block chaining from the fixed initialisation vector; a tail of 1 to
// 7 bytes is xored with the encrypted chaining register. in and out may be
// the same buffer.
void DecryptBuffer(const void* in, void* out, size_t length);
void EncryptBuffer(const void* in, void* out, size_t length);

// The byte that fills the initialisation vector, shared by writer and reader.
constexpr uint8_t EncryptionIVByte = 0xA5;

uint32_t RotateWordLeft(uint32_t value, unsigned count);
void XorBytes(uint8_t* target, const uint8_t* source, size_t count);
uint32_t ReverseWordBytes(uint32_t value);

}  // namespace RevavaRez
