#include "moduleinfo/DebugData.h"

#include <cstring>
#include <vector>

#include "moduleinfo/DataBlockFormat.h"
#include "options/VezavuModuleOptions.h"
#include "packing/Base64.h"
#include "packing/Encryption.h"

namespace RevavaRez {

namespace {

// Code offsets count from the first page after the image's headers.
constexpr uint64_t kCodeBase = 4096;
constexpr size_t kUnitValuesSize = 16;
// A qualifier can itself be qualified; real names stop at a few levels.
constexpr int kMaxQualifierDepth = 8;

std::string LastKeyPassword;
uint32_t LastKey[4] = {};
bool HaveKey = false;
uint32_t KeysMade = 0;
uint32_t Inflations = 0;

// A cursor that never leaves [0, size).
class TBoundedReader {
 public:
  TBoundedReader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  size_t Position() const { return FPosition; }
  size_t Remaining() const { return FSize - FPosition; }
  const uint8_t* Here() const { return FData + FPosition; }
  bool Skip(uint64_t count) {
    if (count > Remaining()) return false;
    FPosition += static_cast<size_t>(count);
    return true;
  }
  bool DWord(uint32_t& value) {
    if (Remaining() < 4) return false;
    value = ReadDWordLE(Here());
    FPosition += 4;
    return true;
  }
  bool Byte(uint8_t& value) {
    if (Remaining() < 1) return false;
    value = FData[FPosition++];
    return true;
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPosition = 0;
};

// A name record, decoded when decode is set (a skipped unit's name is only
// stepped over).
bool ReadName(TBoundedReader& reader, const TNameCoding& coding, bool decode, std::string& name, int depth = 0) {
  uint8_t length;
  if (!reader.Byte(length)) return false;
  const bool qualified = coding.Version > kQualifiedNameVersion && (length & 0x80) != 0;
  if (qualified) length &= 0x7F;
  const uint8_t* bytes = reader.Here();
  if (!reader.Skip(length)) return false;
  if (decode) name = DecodeName(bytes, length, coding);
  if (!qualified) return true;
  if (depth >= kMaxQualifierDepth) return false;
  std::string qualifier;
  if (!ReadName(reader, coding, decode, qualifier, depth + 1)) return false;
  if (decode) name = qualifier + "." + name;
  return true;
}

bool SkipToUnits(TBoundedReader& reader, uint16_t version, uint32_t& units) {
  if (version >= kSkippedPartVersion && version < kSeparateOptionsVersion) {
    uint32_t skipped;
    if (!reader.DWord(skipped) || !reader.Skip(skipped)) return false;
  }
  return reader.DWord(units);
}

struct TUnitEntry {
  uint32_t FirstLine = 0, CodeStart = 0, CodeSize = 0, TableSize = 0;
  const uint8_t* Table = nullptr;
};

bool ReadUnit(TBoundedReader& reader, const TNameCoding& coding, bool decode, std::string& name, TUnitEntry& unit) {
  if (!ReadName(reader, coding, decode, name)) return false;
  if (reader.Remaining() < kUnitValuesSize) return false;
  reader.DWord(unit.FirstLine);
  reader.DWord(unit.CodeStart);
  reader.DWord(unit.CodeSize);
  reader.DWord(unit.TableSize);
  unit.Table = reader.Here();
  return reader.Skip(unit.TableSize);
}

bool StartsAsFramedProcedure(const TCodeReader& readCode, uint64_t address) {
  uint8_t code[3];
  if (readCode && readCode(address, code, 3) && code[0] == 0x55 && code[1] == 0x8B && code[2] == 0xEC) return true;
  return readCode && readCode(address, code, 1) && code[0] == 0x53;
}

struct TProcedure {
  bool Known = false;
  std::string ClassName, Name;
  int64_t FirstLine = 0;
  uint64_t Start = 0;
};

void StartProcedure(TProcedure& procedure, std::string name, int64_t line, uint64_t start) {
  if (!name.empty() && name[0] == '.') {
    name.erase(0, 1);  // the class stays the previous procedure's
  } else {
    const size_t point = name.find('.');
    if (point != std::string::npos) {
      procedure.ClassName = name.substr(0, point);
      name.erase(0, point + 1);
    } else {
      procedure.ClassName.clear();
    }
  }
  if (!name.empty() && name[0] == '@') name[0] = '_';
  procedure.Known = true;
  procedure.Name = std::move(name);
  procedure.FirstLine = line;
  procedure.Start = start;
}

void FillHit(const std::string& unitName, const TProcedure& procedure, int64_t line, const TCodeReader& readCode,
             TLineHit& hit) {
  hit = TLineHit();
  hit.UnitName = unitName;
  hit.Line = static_cast<int32_t>(line);
  if (!procedure.Known) return;
  hit.ClassName = procedure.ClassName;
  hit.ProcedureName = procedure.Name;
  int64_t first = procedure.FirstLine;
  // The first record of a procedure without the usual entry code (and of
  // the finalisation section) stands one line after its header.
  if (procedure.Name == "Finalization" ||
      (procedure.Name != "Initialization" && !StartsAsFramedProcedure(readCode, procedure.Start)))
    --first;
  hit.RelativeLine = line > first ? static_cast<int32_t>(line - first) : 0;
}

bool WalkTable(const TUnitEntry& unit, const std::string& unitName, const TNameCoding& coding, uint64_t codeStart,
               uint64_t codeEnd, uint64_t address, const TCodeReader& readCode, TLineHit& hit) {
  TBoundedReader table(unit.Table, unit.TableSize);
  int64_t line = unit.FirstLine;
  uint64_t at = codeStart;
  TProcedure procedure;
  while (table.Remaining() > 0) {
    TLineRecord record;
    if (!ReadLineRecord(table.Here(), table.Remaining(), coding.Version, record)) return false;
    table.Skip(record.Length);
    const int64_t nextLine = line + record.LineStep;
    const uint64_t next = at + record.AddressStep;
    if (address >= at && address < next) {
      FillHit(unitName, procedure, line, readCode, hit);
      return true;
    }
    std::string name;
    if (record.ProcedureStart && !ReadName(table, coding, true, name)) return false;
    line = nextLine;
    at = next;
    if (record.ProcedureStart) StartProcedure(procedure, std::move(name), line, at);
  }
  if (address >= at && address <= codeEnd) {
    FillHit(unitName, procedure, line, readCode, hit);
    return true;
  }
  return false;
}

}  // namespace

void UseNameKey(const std::string& password) {
  uint32_t current[4];
  EncryptionKey(current);
  if (HaveKey && password == LastKeyPassword && std::memcmp(current, LastKey, sizeof LastKey) == 0) return;
  SetEncryptionKey(password);
  EncryptionKey(LastKey);
  LastKeyPassword = password;
  HaveKey = true;
  ++KeysMade;
}

uint32_t NameKeysMade() { return KeysMade; }
uint32_t BodiesInflated() { return Inflations; }
void CountBodyInflated() { ++Inflations; }

std::string DecodeName(const uint8_t* bytes, size_t length, const TNameCoding& coding) {
  std::string name(reinterpret_cast<const char*>(bytes), length);
  if (coding.Version < kSeparateOptionsVersion) {
    for (char& c : name) c = static_cast<char>(static_cast<uint8_t>(c) ^ kScrambleByte);
    return name;
  }
  if (!coding.Readable) return "?" + Base64Encode(bytes, length);
  UseNameKey(coding.Password);
  DecryptBuffer(bytes, &name[0], length);
  return name;
}

bool ReadLineRecord(const uint8_t* bytes, size_t remaining, uint16_t version, TLineRecord& record) {
  record = TLineRecord();
  if (remaining < 1) return false;
  const uint8_t flags = bytes[0];
  if ((flags & 0x01) == 0) {
    record = {1, false, ((flags >> 6) & 0x03) + 1u, ((flags >> 1) & 0x1Fu) + 1};
    return true;
  }
  if ((flags & 0x02) == 0) {
    record = {1, true, ((flags >> 5) & 0x07) + 1u, ((flags >> 2) & 0x07u) + 1};
    return true;
  }
  const bool start = (flags & 0x04) != 0;
  if ((flags & 0x08) == 0) {
    if (remaining < 2) return false;
    const uint32_t word = ReadWordLE(bytes);
    record = {2, start, ((word >> 11) & 0x1F) + 1, ((word >> 4) & 0x7F) + 1};
    return true;
  }
  if (remaining < 4) return false;
  const uint32_t word = ReadDWordLE(bytes);
  if (version > kLineEscapeVersion && (word >> 4) == 0x0FFEFFFE) {
    if (remaining < 8) return false;
    record = {8, start, ReadWordLE(bytes + 4) + 1u, ReadWordLE(bytes + 6) + 1u};
    return true;
  }
  const uint32_t addressBits = word >> 20;
  record = {4, start, ((word >> 4) & 0xFFFF) + 1, addressBits == 0xFFF ? 0 : addressBits + 1};
  return true;
}

bool CheckDebugData(const uint8_t* data, size_t size, uint16_t version) {
  TBoundedReader reader(data, size);
  uint32_t units;
  if (!SkipToUnits(reader, version, units)) return false;
  const TNameCoding coding{version, false, {}};
  std::string unused;
  for (uint32_t index = 0; index < units; ++index) {
    TUnitEntry unit;
    if (!ReadUnit(reader, coding, false, unused, unit)) return false;
  }
  return true;
}

bool FindLine(const uint8_t* data, size_t size, const TNameCoding& coding, uint64_t moduleBase, uint64_t address,
              const TCodeReader& readCode, TLineHit& hit) {
  if (data == nullptr) return false;
  TBoundedReader reader(data, size);
  uint32_t units;
  if (!SkipToUnits(reader, coding.Version, units)) return false;
  const bool readableNames = coding.Version < kSeparateOptionsVersion || coding.Readable;
  for (uint32_t index = 0; index < units; ++index) {
    // The name's bytes are decoded only for the unit that holds the address.
    const size_t nameAt = reader.Position();
    std::string name;
    TUnitEntry unit;
    if (!ReadUnit(reader, coding, false, name, unit)) return false;
    if (unit.CodeSize == 0) continue;
    const uint64_t codeStart = moduleBase + kCodeBase + unit.CodeStart;
    const uint64_t codeEnd = codeStart + unit.CodeSize - 1;
    if (address < codeStart || address > codeEnd) continue;
    TBoundedReader nameReader(data + nameAt, size - nameAt);
    ReadName(nameReader, coding, true, name);
    if (!readableNames) {
      if (!name.empty()) name.insert(1, "p");
    } else if (name.find('.') == std::string::npos) {
      name += ".pas";
    }
    return WalkTable(unit, name, coding, codeStart, codeEnd, address, readCode, hit);
  }
  return false;
}

}  // namespace RevavaRez
