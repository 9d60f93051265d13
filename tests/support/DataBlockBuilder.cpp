#include "DataBlockBuilder.h"

#include <windows.h>
#include <zlib.h>

#include <cstring>

#include "packing/Encryption.h"

namespace brx_test {

namespace {

void PutByte(Bytes& out, uint8_t value) { out.push_back(value); }

void PutWord(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutDWord(Bytes& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutBytes(Bytes& out, const Bytes& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

void PutDouble(Bytes& out, double value) {
  uint8_t bytes[8];
  std::memcpy(bytes, &value, 8);
  out.insert(out.end(), bytes, bytes + 8);
}

uint8_t Bit(uint32_t flags, int bit) { return static_cast<uint8_t>((flags >> bit) & 1); }

Bytes Deflated(const Bytes& plain) {
  uLongf length = compressBound(static_cast<uLong>(plain.size()));
  Bytes packed(length);
  if (compress2(packed.data(), &length, plain.data(), static_cast<uLong>(plain.size()), 9) != Z_OK) return {};
  packed.resize(length);
  return packed;
}

// The options, the debug data size and the debug data.
Bytes Body(const TDataBlock& block) {
  Bytes body = block.Options;
  PutDWord(body, static_cast<uint32_t>(block.DebugData.size()));
  PutBytes(body, block.DebugData);
  return body;
}

}  // namespace

void PutScrambledText(Bytes& out, const std::string& text) {
  PutDWord(out, static_cast<uint32_t>(text.size()));
  for (char c : text) out.push_back(static_cast<uint8_t>(c) ^ 0x62);
}

bool StreamCarriesText(int index, int version) {
  auto in = [index](std::initializer_list<int> list) {
    for (int i : list)
      if (i == index) return true;
    return false;
  };
  if (index == 17 && version < 420) return false;
  if (index == 16 && version <= 420) return false;
  if (version < 450 && (in({8, 9, 10, 11, 18, 19, 20, 26, 41, 47, 48, 52}) || index >= 75)) return false;
  if (version < 500 && (in({12, 13, 21, 27, 46, 47, 48, 89, 94, 95}) || (index >= 54 && index <= 61) ||
                        (index >= 68 && index <= 74)))
    return false;
  return true;
}

Bytes OptionsStream(const TOptionsImage& o, int v) {
  Bytes s;
  PutByte(s, o.LogActive);
  PutByte(s, o.HandleActive);
  PutByte(s, o.LogFlags);
  if (v < 500) PutByte(s, static_cast<uint8_t>(Bit(o.DialogFlags, 0) ^ (v < 450 ? 1 : 0)));
  PutByte(s, o.AppendReports);
  if (v >= 450 && v < 500) {
    PutByte(s, Bit(o.SendFlags, 2));
    PutByte(s, Bit(o.SendFlags, 4));
    PutByte(s, Bit(o.SendFlags, 0));
  }
  if (v > 400) {
    PutByte(s, o.SaveLog);
    PutByte(s, o.FirstTab);
  }
  if (v > 402 && v < 500) PutByte(s, Bit(o.DialogFlags, 7));
  if (v >= 420) {
    PutByte(s, o.FreezeWatch);
    PutDWord(s, static_cast<uint32_t>(v < 422 ? o.FreezeSeconds * 1000 : o.FreezeSeconds));
    PutScrambledText(s, o.FreezeText);
    if (v >= 450) PutScrambledText(s, o.MailFrom);
    PutScrambledText(s, o.MailServer);
  }
  if (v >= 450) PutWord(s, o.MailPort);
  if (v > 420) {
    PutScrambledText(s, o.MailUser);
    PutScrambledText(s, o.MailPassword);
    PutByte(s, o.CloseAction);
  }
  PutByte(s, o.ShowCloseButton);
  PutDWord(s, static_cast<uint32_t>(o.LogCapacity));
  PutDWord(s, static_cast<uint32_t>(o.CloseButtonAfter));
  PutScrambledText(s, o.MailRecipients);
  PutScrambledText(s, o.MailSubjectLine);
  PutByte(s, o.MailMode);
  s.insert(s.end(), o.GeneralFieldMask.begin(), o.GeneralFieldMask.begin() + (v >= 500 ? 5 : 4));
  if (v < 450) PutByte(s, 0);
  PutScrambledText(s, o.LogLocation);
  if (v >= 500) {
    PutByte(s, o.WebMode);
    PutScrambledText(s, o.WebAddress);
    PutScrambledText(s, o.WebLoginUser);
    PutScrambledText(s, o.WebLoginPassword);
    PutDWord(s, o.WebPortNumber);
    PutScrambledText(s, o.AttachedFileList);
    PutWord(s, o.SendFlags);
    PutByte(s, o.DialogFlags);
    PutDWord(s, static_cast<uint32_t>(o.AutoCloseSeconds));
    PutScrambledText(s, o.SupportAddress);
    PutScrambledText(s, o.PageTemplate);
    PutByte(s, o.StackFlags);
    PutByte(s, o.BehaviourFlags);
    PutByte(s, o.CrashAction);
    PutDWord(s, static_cast<uint32_t>(o.CrashCount));
    PutDWord(s, static_cast<uint32_t>(o.CrashMinutes));
  }
  PutDWord(s, static_cast<uint32_t>(o.Filters.size()));
  for (const auto& [className, message] : o.Filters) {
    PutScrambledText(s, className);
    PutScrambledText(s, message);
  }
  PutScrambledText(s, o.MailBody);
  for (int index = 0; index < 96; ++index)
    if (StreamCarriesText(index, v)) PutScrambledText(s, o.Texts[static_cast<size_t>(index)]);
  return s;
}

Bytes Encrypted(const std::string& password, const Bytes& plain) {
  RevavaRez::SetEncryptionKey(password);
  Bytes coded(plain.size());
  RevavaRez::EncryptBuffer(plain.data(), coded.data(), plain.size());
  return coded;
}

namespace {

constexpr uint32_t kLyingSize = 0x7FFFFFF0;

// A body whose D is honest but whose bytes inflate past the 64 MiB bound.
Bytes BombBody() {
  Bytes body;
  const uint32_t size = (64u << 20) + 4096;
  PutDWord(body, size);
  body.resize(body.size() + size, 0);
  return Deflated(body);
}

// The body with D or its debug data made to lie.
Bytes FaultyBody(const TDataBlock& block, const Bytes& body, size_t dAt) {
  Bytes out = body;
  if (block.Fault == TBlockFault::DebugSizeLies)
    for (int i = 0; i < 4; ++i) out[dAt + static_cast<size_t>(i)] = static_cast<uint8_t>(kLyingSize >> (8 * i));
  return out;
}

void Cut(const TDataBlock& block, Bytes& out) {
  if (block.Fault == TBlockFault::Truncated) out.resize(out.size() > 24 ? out.size() - 24 : 0);
}

}  // namespace

Bytes ResourceBlock(const TDataBlock& block) {
  Bytes out;
  PutDWord(out, block.Magic);
  PutWord(out, block.Version);
  PutDouble(out, block.Compiled);
  if (block.Version >= 500) {
    Bytes directory;
    for (const TSymbolEntry& entry : block.Symbols) {
      PutByte(directory, entry.Identifier);
      PutDWord(directory, entry.Offset);
      PutDWord(directory, entry.Size);
    }
    PutDWord(out, block.Fault == TBlockFault::SymbolSizeLies ? kLyingSize : static_cast<uint32_t>(directory.size()));
    PutBytes(out, directory);
    const Bytes options = Deflated(block.Options);
    PutDWord(out, block.Fault == TBlockFault::OptionsSizeLies ? kLyingSize : static_cast<uint32_t>(options.size()));
    PutBytes(out, options);
    if (block.Password.empty()) {
      PutDWord(out, 0);
    } else {
      Bytes check;
      PutDWord(check, kDataBlockMagic);
      PutBytes(out, Encrypted(block.Password, check));
    }
    if (block.Fault == TBlockFault::InflationBomb) {
      PutBytes(out, BombBody());
    } else {
      Bytes body;
      PutDWord(body, static_cast<uint32_t>(block.DebugData.size()));
      PutBytes(body, block.DebugData);
      PutBytes(out, Deflated(FaultyBody(block, body, 0)));
    }
  } else {
    const Bytes body = FaultyBody(block, Body(block), block.Options.size());
    if (block.Version >= 450)
      PutBytes(out, block.Fault == TBlockFault::InflationBomb ? BombBody() : Deflated(body));
    else
      PutBytes(out, body);
  }
  Cut(block, out);
  return out;
}

Bytes TrailerBlock(const TDataBlock& block, uint32_t lastWord) {
  const Bytes body = FaultyBody(block, Body(block), block.Options.size());
  // Sized at once: a vector grown from a few bytes trips a false bounds
  // warning of the 32-bit compiler.
  Bytes out(10 + body.size());
  out[0] = static_cast<uint8_t>(block.Version);
  out[1] = static_cast<uint8_t>(block.Version >> 8);
  std::memcpy(&out[2], &block.Compiled, 8);
  if (!body.empty()) std::memcpy(&out[10], body.data(), body.size());
  Cut(block, out);
  const auto size = block.Fault == TBlockFault::TrailerSizeLies ? kLyingSize : static_cast<uint32_t>(out.size());
  PutDWord(out, size);
  PutDWord(out, lastWord);
  return out;
}

Bytes NameRecord(const std::string& name, int version, const std::string& password) {
  Bytes plain(name.begin(), name.end());
  if (version < 500)
    for (uint8_t& c : plain) c ^= 0x62;
  else
    plain = Encrypted(password, plain);
  plain.insert(plain.begin(), static_cast<uint8_t>(name.size()));
  return plain;
}

Bytes QualifiedNameRecord(const std::string& qualifier, const std::string& name, int version,
                          const std::string& password) {
  Bytes out = NameRecord(name, version, password);
  out[0] |= 0x80;
  PutBytes(out, NameRecord(qualifier, version, password));
  return out;
}

Bytes ByteLine(uint32_t lineStep, uint32_t addressStep) {
  return {static_cast<uint8_t>(((lineStep - 1) << 6) | ((addressStep - 1) << 1))};
}

Bytes ByteProcedureLine(uint32_t lineStep, uint32_t addressStep) {
  return {static_cast<uint8_t>(((lineStep - 1) << 5) | ((addressStep - 1) << 2) | 0x01)};
}

Bytes WordLine(uint32_t lineStep, uint32_t addressStep, bool start) {
  Bytes out;
  PutWord(out, static_cast<uint16_t>(((lineStep - 1) << 11) | ((addressStep - 1) << 4) | (start ? 0x07 : 0x03)));
  return out;
}

Bytes DWordLine(uint32_t lineStep, uint32_t addressStep, bool start) {
  const uint32_t addressBits = addressStep == 0 ? 0xFFF : addressStep - 1;
  Bytes out;
  PutDWord(out, (addressBits << 20) | ((lineStep - 1) << 4) | (start ? 0x0F : 0x0B));
  return out;
}

Bytes EscapedLine(uint32_t lineStep, uint32_t addressStep, bool start) {
  Bytes out;
  PutDWord(out, start ? 0xFFEFFFEF : 0xFFEFFFEB);
  PutWord(out, static_cast<uint16_t>(lineStep - 1));
  PutWord(out, static_cast<uint16_t>(addressStep - 1));
  return out;
}

Bytes DebugData(const std::vector<TDebugUnit>& units, int version) {
  Bytes out;
  if (version >= 405 && version < 500) {
    const Bytes skipped{1, 2, 3, 4, 5};
    PutDWord(out, static_cast<uint32_t>(skipped.size()));
    PutBytes(out, skipped);
  }
  PutDWord(out, static_cast<uint32_t>(units.size()));
  for (const TDebugUnit& unit : units) {
    PutBytes(out, unit.Name);
    PutDWord(out, unit.FirstLine);
    PutDWord(out, unit.CodeStart);
    PutDWord(out, unit.CodeSize);
    PutDWord(out, static_cast<uint32_t>(unit.Table.size()));
    PutBytes(out, unit.Table);
  }
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) PutBytes(out, part);
  return out;
}

bool CopyModule(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

bool PutResource(const std::wstring& module, const Bytes& bytes) {
  HANDLE update = BeginUpdateResourceW(module.c_str(), FALSE);
  if (update == nullptr) return false;
  const BOOL put = UpdateResourceW(update, MAKEINTRESOURCEW(10) /* RT_RCDATA */, L"RURUDO",
                                   MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), const_cast<uint8_t*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size()));
  return EndUpdateResourceW(update, put ? FALSE : TRUE) != FALSE && put;
}

bool AppendToFile(const std::wstring& file, const Bytes& bytes) {
  HANDLE handle = CreateFileW(file.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(handle);
  return ok && written == bytes.size();
}

}  // namespace brx_test
