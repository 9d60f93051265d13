#include "ole/FormProperties.h"

#include "base/Exception.h"

namespace {

class TWriter {
 public:
  void U8(uint8_t value) { FBytes.push_back(value); }
  void Bool(bool value) { U8(value ? 1 : 0); }
  void U16(uint16_t value) {
    U8(static_cast<uint8_t>(value));
    U8(static_cast<uint8_t>(value >> 8));
  }
  void U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    U16(static_cast<uint16_t>(value >> 16));
  }
  void U64(uint64_t value) {
    U32(static_cast<uint32_t>(value));
    U32(static_cast<uint32_t>(value >> 32));
  }
  void Text(const std::wstring& text) {
    U32(static_cast<uint32_t>(text.size()));
    for (wchar_t c : text) U16(static_cast<uint16_t>(c));
  }
  std::vector<uint8_t>& Bytes() { return FBytes; }

 private:
  std::vector<uint8_t> FBytes;
};

class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  uint8_t U8() {
    Need(1);
    return FData[FPos++];
  }
  bool Bool() { return U8() != 0; }
  uint16_t U16() {
    const uint16_t low = U8();
    return static_cast<uint16_t>(low | (U8() << 8));
  }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
  }
  uint64_t U64() {
    const uint64_t low = U32();
    return low | (static_cast<uint64_t>(U32()) << 32);
  }
  std::wstring Text(uint64_t maxChars) {
    const uint64_t count = U32();
    if (count > maxChars || count * 2 > FSize - FPos) throw Exception("Damaged control state: text too long");
    std::wstring text;
    text.reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) text.push_back(static_cast<wchar_t>(U16()));
    return text;
  }

 private:
  void Need(size_t bytes) const {
    if (bytes > FSize - FPos) throw Exception("Damaged control state: cut short");
  }
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

}  // namespace

bool TFormFont::operator==(const TFormFont& o) const {
  return Name == o.Name && Size == o.Size && Weight == o.Weight && Charset == o.Charset &&
         Italic == o.Italic && Underline == o.Underline && Strikethrough == o.Strikethrough;
}

bool TFormProperties::operator==(const TFormProperties& o) const {
  return AutoScroll == o.AutoScroll && AutoSize == o.AutoSize && AxBorderStyle == o.AxBorderStyle &&
         Caption == o.Caption && Color == o.Color && Font == o.Font && KeyPreview == o.KeyPreview &&
         PixelsPerInch == o.PixelsPerInch && PrintScale == o.PrintScale && Scaled == o.Scaled &&
         DropTarget == o.DropTarget && HelpFile == o.HelpFile && DoubleBuffered == o.DoubleBuffered &&
         Enabled == o.Enabled && Cursor == o.Cursor;
}

std::vector<uint8_t> SaveFormProperties(const TFormProperties& p) {
  TWriter body;
  body.Bool(p.AutoScroll);
  body.Bool(p.AutoSize);
  body.U32(static_cast<uint32_t>(p.AxBorderStyle));
  body.Text(p.Caption);
  body.U32(p.Color);
  const std::wstring fontName = p.Font.Name.substr(0, kMaxFontNameChars);
  body.Text(fontName);
  body.U64(static_cast<uint64_t>(p.Font.Size));
  body.U16(static_cast<uint16_t>(p.Font.Weight));
  body.U16(p.Font.Charset);
  body.U8(static_cast<uint8_t>((p.Font.Italic ? 1 : 0) | (p.Font.Underline ? 2 : 0) |
                               (p.Font.Strikethrough ? 4 : 0)));
  body.Bool(p.KeyPreview);
  body.U32(static_cast<uint32_t>(p.PixelsPerInch));
  body.U32(static_cast<uint32_t>(p.PrintScale));
  body.Bool(p.Scaled);
  body.Bool(p.DropTarget);
  body.Text(p.HelpFile);
  body.Bool(p.DoubleBuffered);
  body.Bool(p.Enabled);
  body.U16(static_cast<uint16_t>(p.Cursor));
  if (body.Bytes().size() > kMaxFormStateBodyBytes) throw Exception("Control state too large to save");

  TWriter block;
  block.U16(kFormStateVersion);
  block.U32(static_cast<uint32_t>(body.Bytes().size()));
  std::vector<uint8_t> bytes = std::move(block.Bytes());
  bytes.insert(bytes.end(), body.Bytes().begin(), body.Bytes().end());
  return bytes;
}

void ReadFormStatePrefix(const uint8_t* prefix, uint16_t& version, uint32_t& bodyBytes) {
  TReader reader(prefix, kFormStatePrefixBytes);
  version = reader.U16();
  bodyBytes = reader.U32();
  if (version == 0) throw Exception("Damaged control state: no version");
  if (bodyBytes > kMaxFormStateBodyBytes) throw Exception("Damaged control state: length out of range");
}

TFormProperties LoadFormProperties(uint16_t version, const uint8_t* body, size_t bodyBytes) {
  if (version == 0) throw Exception("Damaged control state: no version");
  TReader r(body, bodyBytes);
  TFormProperties p;
  p.AutoScroll = r.Bool();
  p.AutoSize = r.Bool();
  p.AxBorderStyle = static_cast<int32_t>(r.U32());
  p.Caption = r.Text(bodyBytes);
  p.Color = r.U32();
  p.Font.Name = r.Text(kMaxFontNameChars);
  p.Font.Size = static_cast<int64_t>(r.U64());
  p.Font.Weight = static_cast<int16_t>(r.U16());
  p.Font.Charset = r.U16();
  const uint8_t flags = r.U8();
  p.Font.Italic = (flags & 1) != 0;
  p.Font.Underline = (flags & 2) != 0;
  p.Font.Strikethrough = (flags & 4) != 0;
  p.KeyPreview = r.Bool();
  p.PixelsPerInch = static_cast<int32_t>(r.U32());
  p.PrintScale = static_cast<int32_t>(r.U32());
  p.Scaled = r.Bool();
  p.DropTarget = r.Bool();
  p.HelpFile = r.Text(bodyBytes);
  p.DoubleBuffered = r.Bool();
  p.Enabled = r.Bool();
  p.Cursor = static_cast<int16_t>(r.U16());
  // Whatever a later version appended stays unread.
  return p;
}
