// The attachment archive byte for byte, its inflation back, and Base64.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "packing/Base64.h"
#include "core/Errors.h"
#include "packing/TGZWriter.h"
#include "TestModules.h"

using namespace RevavaRez;

namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string Field(const std::string& tar, size_t offset, size_t size) { return tar.substr(offset, size); }

// 1,000 bytes named "report.txt", written on 31 January 2007 at 12:00 UTC.
class Packer : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 1000; ++i) content += static_cast<char>('a' + i % 26);
    path = Narrow(folder.Path()) + "\\CompressFiles.tgz";
    TMemoryStream data;
    data.WriteBuffer(content.data(), content.size());
    data.SetPosition(0);
    TTGZWriter writer(path);
    writer.AddStream(data, "report.txt", 39113.5);
    tar.assign(reinterpret_cast<const char*>(writer.TarData().Memory()), writer.TarData().Size());
    writer.Close();
    tar.append(512, '\0');  // the end block that Close adds
    file = ReadWholeFile(path);
  }

  brx_test::TTempFolder folder{L"packer"};
  std::string content, path, tar, file;
};

}  // namespace

TEST_F(Packer, TarHeaderAndBlocks) {
  ASSERT_EQ(tar.size(), 2048u);  // header, two data blocks, end block
  EXPECT_EQ(std::string(tar.c_str()), "report.txt");
  EXPECT_EQ(Field(tar, 100, 8), std::string("     0 \0", 8));
  EXPECT_EQ(Field(tar, 108, 8), std::string("     0 \0", 8));
  EXPECT_EQ(Field(tar, 116, 8), std::string("     0 \0", 8));
  EXPECT_EQ(Field(tar, 124, 12), "       1750 ");
  EXPECT_EQ(Field(tar, 136, 12), "10560102300 ");
  EXPECT_EQ(Field(tar, 148, 8), std::string("  7310 \0", 8));
  EXPECT_EQ(tar[156], '0');
  EXPECT_EQ(Field(tar, 257, 8), "ustar   ");
  EXPECT_EQ(Field(tar, 265, 247), std::string(247, '\0'));
  EXPECT_EQ(Field(tar, 512, 1000), content);
  EXPECT_EQ(Field(tar, 1512, 536), std::string(536, '\0'));
}

TEST_F(Packer, GZipFileIsZlibsRawDeflateWithCrcAndLength) {
  const std::string header("\x1F\x8B\x08\x08\0\0\0\0\0\0CompressFiles.tar\0", 28);
  ASSERT_GT(file.size(), header.size() + 8);
  EXPECT_EQ(file.substr(0, 28), header);

  // zlib's own level-9 output of the same tar, without its 2-byte header and
  // 4-byte checksum.
  std::vector<uint8_t> zlibbed(compressBound(tar.size()));
  uLongf zlibSize = zlibbed.size();
  ASSERT_EQ(compress2(zlibbed.data(), &zlibSize, reinterpret_cast<const Bytef*>(tar.data()), tar.size(), 9),
            Z_OK);
  std::string deflated(reinterpret_cast<const char*>(zlibbed.data()) + 2, zlibSize - 6);
  EXPECT_EQ(file.substr(28, file.size() - 36), deflated);

  uint32_t crc = Crc32(tar.data(), tar.size());
  std::string trailer;
  for (uint32_t value : {crc, uint32_t(2048)})
    for (int i = 0; i < 4; ++i) trailer += static_cast<char>(value >> (8 * i));
  EXPECT_EQ(file.substr(file.size() - 8), trailer);

  // zlib's gzip mode reads the file back, CRC and length checked.
  z_stream zs{};
  ASSERT_EQ(inflateInit2(&zs, 16 + MAX_WBITS), Z_OK);
  std::vector<uint8_t> back(4096);
  zs.next_in = reinterpret_cast<Bytef*>(&file[0]);
  zs.avail_in = file.size();
  zs.next_out = back.data();
  zs.avail_out = back.size();
  EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(zs.total_out, 2048u);
  inflateEnd(&zs);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.data()), 2048), tar);
}

TEST_F(Packer, GZipInflateReadsTheArchiveBack) {
  TMemoryStream out;
  EXPECT_TRUE(GZipInflate(file.data(), file.size(), out));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Memory()), out.Size()), tar);
}

TEST_F(Packer, GZipInflateStopsAtMalformedInput) {
  const size_t nameEnd = 28;  // header and stored name
  const struct {
    const char* what;
    std::string data;
    bool expectSomeOutput;
  } cases[] = {
      {"empty", "", false},
      {"header only", file.substr(0, 10), false},
      {"not gzip", "PK" + file.substr(2), false},
      {"name without terminator", file.substr(0, 10) + std::string(40, 'n'), false},
      {"fewer than 8 trailing bytes after the name", file.substr(0, nameEnd + 7), false},
      {"deflate data cut short", file.substr(0, nameEnd + 20) + std::string(8, '\0'), false},
      {"garbage deflate data", file.substr(0, nameEnd) + std::string(64, '\xFF'), false},
  };
  for (const auto& c : cases) {
    TMemoryStream out;
    EXPECT_FALSE(GZipInflate(c.data.data(), c.data.size(), out)) << c.what;
    EXPECT_LE(out.Size(), 2048) << c.what;
    // What came out is a prefix of the archive.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Memory()), out.Size()), tar.substr(0, out.Size()))
        << c.what;
  }
}

TEST(PackerLimits, GZipInflateBoundsItsOutput) {
  // 65 MiB of zeros compress to about 64 KB.
  const size_t size = GZipInflateLimit + (size_t(1) << 20);
  std::vector<uint8_t> zeros(size);
  std::string gz = GZipFileBytes(zeros.data(), zeros.size(), "zeros.tar");
  TMemoryStream out;
  EXPECT_FALSE(GZipInflate(gz.data(), gz.size(), out));
  EXPECT_EQ(static_cast<size_t>(out.Size()), GZipInflateLimit);
}

TEST(PackerEntries, LongNamesEmptyEntriesAndFiles) {
  brx_test::TTempFolder folder(L"packer entries");
  std::string base = Narrow(folder.Path());
  std::string source = base + "\\source.bin";
  {
    std::ofstream out(source, std::ios::binary);
    out << "hello";
  }
  std::string longName(101, 'x');
  longName[100] = 'Y';
  TTGZWriter writer(base + "\\entries.tgz");
  TMemoryStream empty;
  writer.AddStream(empty, longName, 0);
  writer.AddFile(source, "folder\\inside.txt");
  EXPECT_THROW(writer.AddFile(base + "\\missing.bin"), EFOpenError);
  std::string tar(reinterpret_cast<const char*>(writer.TarData().Memory()), writer.TarData().Size());
  ASSERT_EQ(tar.size(), 512u * 3);                       // a header alone, then a header and one block
  EXPECT_EQ(tar.substr(0, 100), std::string(100, 'x'));  // cut to 100, no NUL
  EXPECT_EQ(tar[100], ' ');
  EXPECT_EQ(Field(tar, 124, 12), "          0 ");
  EXPECT_EQ(Field(tar, 136, 12), "          0 ");  // the time 0 lies before 1970
  EXPECT_EQ(std::string(tar.c_str() + 512), "inside.txt");
  EXPECT_EQ(Field(tar, 512 + 124, 12), "          5 ");
  EXPECT_NE(Field(tar, 512 + 136, 12), "          0 ");  // a real write time
  EXPECT_EQ(Field(tar, 1024, 6), std::string("hello\0", 6));
  writer.Close();
  EXPECT_NO_THROW(writer.Close());
}

TEST(PackerEntries, SecondsAreTakenAfterRoundingToTheMillisecond) {
  // 12:00:01 lands a hair below the whole second as a double.
  const double noonPlusOne = 39113.5 + 1.0 / 86400.0 - 1e-12;
  EXPECT_EQ(UnixSeconds(39113.5), 1170244800u);
  EXPECT_EQ(UnixSeconds(noonPlusOne), 1170244801u);
  EXPECT_EQ(UnixSeconds(39113.5 + 1.9994 / 86400.0), 1170244801u);
  EXPECT_EQ(UnixSeconds(25568.9), 0u);
}

TEST(Base64, ReferenceVectors) {
  const struct {
    const char* plain;
    const char* coded;
  } cases[] = {{"", ""},
               {"f", "Zg=="},
               {"fo", "Zm8="},
               {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="},
               {"fooba", "Zm9vYmE="},
               {"foobar", "Zm9vYmFy"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Base64Encode(std::string(c.plain)), c.coded);
    EXPECT_EQ(Base64Encode(c.plain, std::strlen(c.plain)), c.coded);
    EXPECT_EQ(Base64Decode(c.coded), c.plain);
  }
  const std::string allBytes = [] {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes;
  }();
  EXPECT_EQ(Base64Decode(Base64Encode(allBytes)), allBytes);
}

TEST(Base64, Sizes) {
  const size_t encoded[][2] = {{0, 0}, {1, 4}, {2, 4}, {3, 4}, {4, 8}, {6, 8}, {7, 12}};
  for (const auto& c : encoded) EXPECT_EQ(EncodedSize(c[0]), c[1]) << c[0];
  const struct {
    const char* text;
    size_t size;
  } decoded[] = {{"", 0},     {"Zg=", 0},  {"Zm9vY", 0},    {"Zg==", 1},
                 {"Zm8=", 2}, {"Zm9v", 3}, {"Zm9vYmFy", 6}, {"Zm9vYg==", 4}};
  for (const auto& c : decoded) EXPECT_EQ(DecodedSize(c.text), c.size) << c.text;
}

TEST(Base64, MalformedInputDecodesWithoutFault) {
  EXPECT_EQ(Base64Decode("Zm9vY"), "");
  EXPECT_EQ(Base64Decode("Zg="), "");
  // Outside the alphabet, 128 and above included: zero bits.
  EXPECT_EQ(Base64Decode(std::string("\x80\xFF!\x01", 4)), std::string(3, '\0'));
  EXPECT_EQ(Base64Decode("A=AA"), std::string("\0\0\0", 3));
  EXPECT_EQ(Base64Decode("===="), std::string(1, '\0'));
}

TEST(Crc32, CheckValue) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
}
