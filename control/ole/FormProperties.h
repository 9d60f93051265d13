#pragma once
// The form's own properties that a container saves with the control and
// hands back when it creates it again, and their stream form:
//
//   u16 version, u32 body length, body
//
// little-endian; the body of version 1 holds the fields below in order.
// Later versions only append fields, so a reader takes the fields it knows
// and skips the rest of the body. Byte-level only: no <windows.h>.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TFormFont {
  std::wstring Name = L"Tahoma";
  // In 1/10,000 of a point, as an OLE font's CY size.
  int64_t Size = 80000;
  int16_t Weight = 400;
  uint16_t Charset = 1;  // DEFAULT_CHARSET
  bool Italic = false;
  bool Underline = false;
  bool Strikethrough = false;

  bool operator==(const TFormFont& other) const;
};

struct TFormProperties {
  bool AutoScroll = false;
  bool AutoSize = false;
  int32_t AxBorderStyle = 0;  // afbNone
  std::wstring Caption;
  uint32_t Color = 0x8000000F;  // the system's button face colour
  TFormFont Font;
  bool KeyPreview = true;
  int32_t PixelsPerInch = 96;
  int32_t PrintScale = 1;  // poProportional
  bool Scaled = true;
  bool DropTarget = false;
  std::wstring HelpFile;
  bool DoubleBuffered = false;
  bool Enabled = true;
  int16_t Cursor = 0;  // crDefault

  bool operator==(const TFormProperties& other) const;
};

constexpr uint16_t kFormStateVersion = 1;
constexpr size_t kFormStatePrefixBytes = 6;
// No saved form comes near this; a larger length is a damaged stream.
constexpr uint32_t kMaxFormStateBodyBytes = 1u << 20;
// Font face names are at most 31 characters; captions and help file names
// are bounded by the body length.
constexpr uint32_t kMaxFontNameChars = 31;

// The whole saved block: prefix and body.
std::vector<uint8_t> SaveFormProperties(const TFormProperties& properties);

// Reads the prefix; throws Exception for a version 0 or a body longer than
// kMaxFormStateBodyBytes.
void ReadFormStatePrefix(const uint8_t* prefix, uint16_t& version, uint32_t& bodyBytes);

// Reads a body of the given version; throws Exception when it is cut short
// or holds a string longer than what is left of it.
TFormProperties LoadFormProperties(uint16_t version, const uint8_t* body, size_t bodyBytes);
