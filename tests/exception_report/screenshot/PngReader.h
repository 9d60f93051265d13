#pragma once
// A small reader of the screenshot's PNG files for the tests: chunks with
// their CRCs checked by zlib, the image data inflated by zlib.
#include <cstdint>
#include <string>
#include <vector>

struct TPngChunk {
  std::string Type;
  std::vector<uint8_t> Data;
  uint32_t StoredCrc = 0;
  uint32_t ComputedCrc = 0;
};

struct TPngFile {
  bool SignatureOk = false;
  std::vector<TPngChunk> Chunks;
  uint32_t Width = 0;
  uint32_t Height = 0;
  std::vector<uint8_t> Palette;  // the PLTE data
  std::vector<uint8_t> Image;    // the inflated IDAT data: filter byte and indices per row
  bool InflateOk = false;
};

TPngFile ReadPng(const uint8_t* bytes, size_t size);
