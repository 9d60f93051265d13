// The cipher of coded names and options: key from the password's digest, the
// block round of its own, and the chaining with its tail rule.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "DataBlockBuilder.h"
#include "packing/Encryption.h"

using namespace RevavaRez;

namespace {

std::string Hex(const uint8_t* bytes, size_t count) {
  static const char Digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    text += Digits[bytes[i] >> 4];
    text += Digits[bytes[i] & 15];
  }
  return text;
}

}  // namespace

TEST(MD5, DigestsOfTheReferenceTexts) {
  const struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      // Lengths around the padding's block boundary.
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    uint8_t digest[16];
    MD5Digest(c.text, std::strlen(c.text), digest);
    EXPECT_EQ(Hex(digest, 16), c.digest) << c.text;
  }
}

TEST(Encryption, KeyWordsAreTheDigestReadBigEndian) {
  SetEncryptionKey("abc");
  uint32_t key[4];
  EncryptionKey(key);
  EXPECT_EQ(key[0], 0x90015098u);
  EXPECT_EQ(key[1], 0x3CD24FB0u);
  EXPECT_EQ(key[2], 0xD6963F7Du);
  EXPECT_EQ(key[3], 0x28E17F72u);
}

TEST(Encryption, BlockRoundIsTheLibrarysOwn) {
  SetEncryptionKey("abc");
  const uint8_t plain[8] = {0, 1, 2, 3, 4, 5, 6, 7};
  uint8_t cipher[8];
  TEAEncryptBlock(plain, cipher);
  EXPECT_EQ(Hex(cipher, 8), "cc4b614f9c1c22b4");

  const uint32_t zero[4] = {0, 0, 0, 0};
  SetEncryptionKeyWords(zero);
  const uint8_t zeroBlock[8] = {};
  TEAEncryptBlock(zeroBlock, cipher);
  EXPECT_EQ(Hex(cipher, 8), "f88b1c2d0684458e");  // the published round gives 41ea3a0a94baa940
  TEADecryptBlock(cipher, cipher);                // in place
  EXPECT_EQ(Hex(cipher, 8), "0000000000000000");
}

TEST(Encryption, BlockRoundTripForRandomKeys) {
  std::mt19937 random(18);
  for (int round = 0; round < 200; ++round) {
    SetEncryptionKey(std::to_string(random()));
    uint8_t plain[8], cipher[8], back[8];
    for (uint8_t& byte : plain) byte = static_cast<uint8_t>(random());
    TEAEncryptBlock(plain, cipher);
    TEADecryptBlock(cipher, back);
    ASSERT_EQ(Hex(back, 8), Hex(plain, 8));
  }
}

TEST(Encryption, BuffersOfEveryLengthDecryptBack) {
  SetEncryptionKey("password");
  std::mt19937 random(7);
  for (size_t length = 0; length <= 40; ++length) {
    std::vector<uint8_t> plain(length), coded(length + 1, 0xEE), back(length + 1, 0xEE);
    for (uint8_t& byte : plain) byte = static_cast<uint8_t>(random());
    EncryptBuffer(plain.data(), coded.data(), length);
    EXPECT_EQ(coded[length], 0xEE) << "wrote past " << length;
    if (length >= 8) {
      EXPECT_NE(Hex(coded.data(), 8), Hex(plain.data(), 8));
    }
    DecryptBuffer(coded.data(), back.data(), length);
    EXPECT_EQ(Hex(back.data(), length), Hex(plain.data(), length)) << length;
    EXPECT_EQ(back[length], 0xEE);
    // In place as well.
    DecryptBuffer(coded.data(), coded.data(), length);
    EXPECT_EQ(Hex(coded.data(), length), Hex(plain.data(), length)) << length;
  }
}

TEST(Encryption, ChainingAndTailRule) {
  SetEncryptionKey("abc");
  uint8_t iv[8];
  std::memset(iv, EncryptionIVByte, 8);
  uint8_t encryptedIV[8];
  TEAEncryptBlock(iv, encryptedIV);

  // A short buffer is xored with the encrypted initialisation vector.
  const uint8_t five[5] = {1, 2, 3, 4, 5};
  uint8_t out[5];
  DecryptBuffer(five, out, 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out[i], five[i] ^ encryptedIV[i]);

  // Nothing at all for an empty buffer.
  uint8_t untouched[4] = {9, 9, 9, 9};
  DecryptBuffer(five, untouched, 0);
  EXPECT_EQ(Hex(untouched, 4), "09090909");

  // Two whole blocks: each is the decrypted block xored with the previous
  // cipher block (the vector for the first).
  uint8_t cipher[16];
  for (int i = 0; i < 16; ++i) cipher[i] = static_cast<uint8_t>(i * 17);
  uint8_t plain[16], expected[16];
  DecryptBuffer(cipher, plain, 16);
  TEADecryptBlock(cipher, expected);
  TEADecryptBlock(cipher + 8, expected + 8);
  for (int i = 0; i < 8; ++i) {
    expected[i] ^= iv[i];
    expected[8 + i] ^= cipher[i];
  }
  EXPECT_EQ(Hex(plain, 16), Hex(expected, 16));
}

TEST(Encryption, SmallWordOperations) {
  EXPECT_EQ(RotateWordLeft(0x80000001u, 1), 0x00000003u);
  EXPECT_EQ(RotateWordLeft(0x12345678u, 0), 0x12345678u);
  EXPECT_EQ(RotateWordLeft(0x12345678u, 8), 0x34567812u);
  EXPECT_EQ(ReverseWordBytes(0x12345678u), 0x78563412u);
  uint8_t target[3] = {0xF0, 0x0F, 0xAA};
  const uint8_t source[3] = {0xFF, 0xFF, 0x00};
  XorBytes(target, source, 2);
  EXPECT_EQ(Hex(target, 3), "0ff0aa");
}

TEST(Encryption, BlockBuilderCodesThePasswordCheck) {
  brx_test::TDataBlock block;
  block.Password = "secret";
  const brx_test::Bytes resource = brx_test::ResourceBlock(block);
  // Magic, version, date, no symbols, the options' size and bytes, then the
  // check word.
  uint32_t optionsSize;
  std::memcpy(&optionsSize, resource.data() + 18, 4);
  ASSERT_GE(resource.size(), 22u + optionsSize + 4);
  SetEncryptionKey("secret");
  uint8_t check[4];
  DecryptBuffer(resource.data() + 22 + optionsSize, check, 4);
  EXPECT_EQ(Hex(check, 4), "10ab0f00");
  SetEncryptionKey("wrong");
  DecryptBuffer(resource.data() + 22 + optionsSize, check, 4);
  EXPECT_NE(Hex(check, 4), "10ab0f00");
}
