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

Bytes ResourceBlock(const TDataBlock& block) {
  Bytes out;
  PutDWord(out, block.Magic);
  PutWord(out, block.Version);
  PutDouble(out, block.Compiled);
  if (block.Version >= 500) {
    PutDWord(out, 0);  // no symbols
    const Bytes options = Deflated(block.Options);
    PutDWord(out, static_cast<uint32_t>(options.size()));
    PutBytes(out, options);
    if (block.Password.empty()) {
      PutDWord(out, 0);
    } else {
      Bytes check;
      PutDWord(check, kDataBlockMagic);
      PutBytes(out, Encrypted(block.Password, check));
    }
    Bytes body;
    PutDWord(body, static_cast<uint32_t>(block.DebugData.size()));
    PutBytes(body, block.DebugData);
    PutBytes(out, Deflated(body));
  } else {
    PutBytes(out, block.Version >= 450 ? Deflated(Body(block)) : Body(block));
  }
  return out;
}

Bytes TrailerBlock(const TDataBlock& block, uint32_t lastWord) {
  Bytes out;
  PutWord(out, block.Version);
  PutDouble(out, block.Compiled);
  PutBytes(out, Body(block));
  const auto size = static_cast<uint32_t>(out.size());
  PutDWord(out, size);
  PutDWord(out, lastWord);
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
