// The attachment packer against zlib's own deflate at level 9 on the same
// tar bytes, in the same run: 20 MB of report-like text and a few PNG files.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/Streams.h"
#include "packing/TGZWriter.h"

namespace {

using namespace RevavaRez;
using TClock = std::chrono::steady_clock;

// Reports as the library writes them: numbered lines of names, addresses,
// module lists and call stacks, with values that change from report to
// report.
std::string ReportText(size_t size, uint32_t seed) {
  static const char* const Lines[] = {
      "1.1 Date Time         : %04u-%02u-%02u, %02u:%02u:%02u, %ums\r\n",
      "1.2 Application Name  : Brindolux\r\n",
      "2.1 Address           : %08X\r\n",
      "2.2 Module Name       : Brindolux.ocx\r\n",
      "2.5 Message           : Access violation at address %08X in module 'Brindolux.ocx'. Read of address "
      "%08X.\r\n",
      "|%08X|Brindolux.ocx |PlayThread.cpp   |TPlayThread      |Execute          |%u[%u]\r\n",
      "|%08X|kernel32.dll  |                 |                 |BaseThreadInitThunk|\r\n",
      "%08X  Tolvane.dll    %u.%u.%u.%u   C:\\Program Files\\Brindolux\\Tolvane.dll\r\n",
  };
  std::string text;
  text.reserve(size + 256);
  char line[256];
  while (text.size() < size) {
    seed = seed * 1664525u + 1013904223u;
    unsigned a = seed >> 8, b = seed % 9973, c = (seed >> 3) % 60;
    std::snprintf(line, sizeof line, Lines[(seed >> 28) % 8], a % 2030 + 1, a % 12 + 1, b % 28 + 1, c % 24, c,
                  b % 60, b % 1000, a);
    text += line;
  }
  text.resize(size);
  return text;
}

void PutBig32(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift);
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
  PutBig32(png, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png += body;
  PutBig32(png, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), body.size())));
}

// A screenshot-like PNG: a gradient with windows of text-like strokes.
std::string ScreenshotPng(int width, int height, uint32_t seed) {
  std::string rows;
  for (int y = 0; y < height; ++y) {
    rows += '\0';  // no filter
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      bool window = (x / 200 + y / 150) % 3 == 0;
      bool stroke = window && (y % 16) < 11 && (seed >> 24) < 70;
      uint8_t base = window ? 240 : static_cast<uint8_t>(60 + y * 120 / height);
      uint8_t value = stroke ? 20 : base;
      rows += static_cast<char>(value);
      rows += static_cast<char>(window ? value : 80 + x * 40 / width);
      rows += static_cast<char>(window ? value : 40);
    }
  }
  std::vector<Bytef> packed(compressBound(rows.size()));
  uLongf packedSize = packed.size();
  compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(rows.data()), rows.size(), 9);
  std::string png("\x89PNG\r\n\x1A\n", 8), header;
  PutBig32(header, width);
  PutBig32(header, height);
  header += std::string("\x08\x02\0\0\0", 5);  // 8-bit RGB
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", std::string(reinterpret_cast<const char*>(packed.data()), packedSize));
  PutChunk(png, "IEND", "");
  return png;
}

// The attachments, already in memory as the sender holds them.
struct TEntry {
  std::string Name;
  TMemoryStream Data;
  TEntry(const std::string& name, const std::string& data) : Name(name) {
    Data.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  }
};

// Builds the archive and writes the gzip file; answers the tar's size.
size_t Pack(std::vector<TEntry>& entries, const std::string& path, std::string* tar = nullptr) {
  TTGZWriter writer(path);
  for (TEntry& entry : entries) {
    entry.Data.SetPosition(0);
    writer.AddStream(entry.Data, entry.Name, 39113.5);
  }
  size_t size = static_cast<size_t>(writer.TarData().Size()) + 512;
  if (tar) {
    tar->assign(reinterpret_cast<const char*>(writer.TarData().Memory()), size - 512);
    tar->append(512, '\0');
  }
  writer.Close();
  return size;
}

double Seconds(TClock::time_point start) {
  return std::chrono::duration<double>(TClock::now() - start).count();
}

}  // namespace

int main() {
  std::vector<TEntry> entries;
  entries.reserve(7);
  for (int i = 0; i < 4; ++i)
    entries.emplace_back("report" + std::to_string(i) + ".txt", ReportText(5 << 20, 77 + i));
  for (int i = 0; i < 3; ++i)
    entries.emplace_back("screen" + std::to_string(i) + ".png", ScreenshotPng(1024, 768, 5 + i));

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "brx_packer_bench.tgz";
  std::string tar;
  Pack(entries, path, &tar);
  std::vector<Bytef> out(compressBound(tar.size()));

  const int rounds = 3;
  double packer = 1e30, direct = 1e30;
  size_t fileSize = 0, directSize = 0;
  for (int round = 0; round < rounds; ++round) {
    TClock::time_point start = TClock::now();
    Pack(entries, path);
    packer = std::min(packer, Seconds(start));

    start = TClock::now();
    uLongf size = out.size();
    compress2(out.data(), &size, reinterpret_cast<const Bytef*>(tar.data()), tar.size(), 9);
    direct = std::min(direct, Seconds(start));
    directSize = size;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) fileSize = data.nFileSizeLow;
  DeleteFileA(path.c_str());

  const double megabytes = tar.size() / 1e6;
  std::printf("tar %.1f MB (%zu entries); packer file %zu bytes, zlib %zu bytes\n", megabytes, entries.size(),
              fileSize, directSize);
  std::printf("%-22s %10s\n", "", "MB/s");
  std::printf("%-22s %10.1f\n", "packer (TTGZWriter)", megabytes / packer);
  std::printf("%-22s %10.1f\n", "zlib deflate level 9", megabytes / direct);
  const double ratio = direct / packer;
  std::printf("ratio packer / zlib %.3f (target >= 0.9: %s)\n", ratio, ratio >= 0.9 ? "met" : "NOT met");
  return 0;
}
