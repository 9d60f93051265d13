// Fetching a URL into a local file, against an HTTP peer on 127.0.0.1.
#include <gtest/gtest.h>
#include <winsock2.h>  // before windows.h, which DownloadToFile.h brings

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "DownloadToFile.h"
#include "HttpPeer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// More than any resource of these tests but the ones about the limit.
constexpr uint64_t kLimit = 1 << 20;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Pattern(size_t size) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 13 + (i >> 8));
  return bytes;
}

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, path);
    FFolder = std::string(path) + "brx_download_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(FFolder.c_str(), nullptr);
    FInternet = InternetOpenA(DownloadAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ASSERT_NE(nullptr, FInternet);
  }
  void TearDown() override {
    if (FInternet) InternetCloseHandle(FInternet);
  }

  static bool Exists(const std::string& file) {
    return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  static Bytes Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static void Write(const std::string& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }

  std::string FFolder;
  HINTERNET FInternet = nullptr;
  THttpPeer FPeer;
};

}  // namespace

TEST_F(DownloadTest, WritesWhatTheServerSendsUnlessItIsAPage) {
  Bytes late = Pattern(1500);
  const std::string doctype = "<!DOCTYPE html>";
  std::copy(doctype.begin(), doctype.end(), late.begin() + 1100);
  struct TRow {
    const char* Name;
    Bytes Body;
    bool Result;
    size_t OnDisk;  // bytes left in the file
  };
  const TRow rows[] = {
      {"binary, several chunks", Pattern(3000), true, 3000},
      {"zero bytes", Bytes(), true, 0},
      {"a page", Text("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\r\n<html></html>"), false, 0},
      // The first chunk was written before the second showed the page.
      {"a page after the first chunk", late, false, 1024},
      // Only the exact text counts.
      {"lower-case doctype", Text("<!doctype html><html></html>"), true, 28},
  };
  int index = 0;
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    const std::string path = "/f" + std::to_string(index);
    const std::string file = FFolder + "f" + std::to_string(index++) + ".bin";
    Write(file, Pattern(5000));  // replaced, never appended to
    FPeer.Serve(path, row.Body);
    EXPECT_EQ(row.Result, DownloadToFile(FInternet, FPeer.URL(path), file, kLimit));
    const Bytes disk = Read(file);
    ASSERT_EQ(row.OnDisk, disk.size());
    EXPECT_TRUE(std::equal(disk.begin(), disk.end(), row.Body.begin()));
  }
}

TEST_F(DownloadTest, AsksTheServerEveryTime) {
  const std::string file = FFolder + "again.bin";
  FPeer.Serve("/again", Text("first answer"));
  ASSERT_TRUE(DownloadToFile(FInternet, FPeer.URL("/again"), file, kLimit));
  FPeer.Serve("/again", Text("second answer"));
  ASSERT_TRUE(DownloadToFile(FInternet, FPeer.URL("/again"), file, kLimit));
  EXPECT_EQ(Text("second answer"), Read(file));
  EXPECT_EQ(2u, FPeer.Requests().size());
}

// An error status is a failure even with an empty body, and leaves the last
// good copy alone.
TEST_F(DownloadTest, ErrorStatusFailsAndKeepsTheOldFile) {
  const std::string file = FFolder + "kept.bin";
  Write(file, Text("last good copy"));
  FPeer.SetMode(THttpPeer::TMode::NotFound);
  EXPECT_FALSE(DownloadToFile(FInternet, FPeer.URL("/missing"), file, kLimit));
  EXPECT_EQ(Text("last good copy"), Read(file));
}

TEST_F(DownloadTest, FailsWithoutServerOrWritableFile) {
  FPeer.Serve("/f", Text("content"));
  const std::string noFolder = FFolder + "no such folder\\f.bin";
  EXPECT_FALSE(DownloadToFile(FInternet, FPeer.URL("/f"), noFolder, kLimit));
  EXPECT_FALSE(Exists(noFolder));

  const std::string url = FPeer.URL("/f");
  FPeer.Shutdown();
  const std::string file = FFolder + "unreached.bin";
  DeleteFileA(file.c_str());
  EXPECT_FALSE(DownloadToFile(FInternet, url, file, kLimit));
  EXPECT_FALSE(Exists(file));
}

// A resource may fill the limit but not pass it; past it the download
// stops, even on a body that never ends, and leaves no file behind.
TEST_F(DownloadTest, StopsPastTheLimitAndRemovesTheFile) {
  constexpr uint64_t limit = 5000;
  FPeer.Serve("/full", Pattern(limit));
  FPeer.Serve("/over", Pattern(limit + 1));
  FPeer.EndlessPath("/endless");
  struct TRow {
    const char* Path;
    bool Result;
  };
  for (const TRow& row : {TRow{"/full", true}, TRow{"/over", false}, TRow{"/endless", false}}) {
    SCOPED_TRACE(row.Path);
    const std::string file = FFolder + "limit" + std::string(row.Path + 1) + ".bin";
    Write(file, Text("an earlier copy"));
    EXPECT_EQ(row.Result, DownloadToFile(FInternet, FPeer.URL(row.Path), file, limit));
    EXPECT_EQ(row.Result, Exists(file));
    if (row.Result) {
      EXPECT_EQ(Pattern(limit), Read(file));
    }
  }
}
