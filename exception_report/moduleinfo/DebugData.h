#pragma once
// A module's debug data: its units, their line tables and the name records
// of units and procedures. The walk is bounded by the data: no count, size
// or length it reads takes it outside its unit, its table or the data.
// Byte-level only: no <windows.h>.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace RevavaRez {

// From this version on the debug data starts with a part that is skipped;
// from 500 on it is not there any more.
constexpr uint16_t kSkippedPartVersion = 405;
// Above this version the 32-bit line record can escape to two 16-bit words.
constexpr uint16_t kLineEscapeVersion = 422;
// Above this version a name record's top length bit marks a qualified name.
constexpr uint16_t kQualifiedNameVersion = 501;

// How a module's names are stored: scrambled before version 500, coded with
// the module's password from 500 on and shown in their stored form when the
// password did not check.
struct TNameCoding {
  uint16_t Version = 0;
  bool Readable = true;
  std::string Password;
};

// Makes the cipher key from the password only when it is not the key made
// last (the key is process-wide: someone else may have made another).
void UseNameKey(const std::string& password);
// How many keys UseNameKey made, and how often the module bodies were
// inflated: the benchmark shows both happen once.
uint32_t NameKeysMade();
uint32_t BodiesInflated();
void CountBodyInflated();

// The stored bytes of a name as text: XOR 0x62 before 500; decrypted from
// 500 on when readable; else "?" and the Base64 of the bytes.
std::string DecodeName(const uint8_t* bytes, size_t length, const TNameCoding& coding);

// One line record of a table: its length in bytes, the steps and whether a
// procedure name follows. False when the record does not fit in remaining.
struct TLineRecord {
  size_t Length = 0;
  bool ProcedureStart = false;
  uint32_t LineStep = 0;
  uint32_t AddressStep = 0;
};
bool ReadLineRecord(const uint8_t* bytes, size_t remaining, uint16_t version, TLineRecord& record);

// The structure of the debug data holds: its skipped part, the unit count,
// each unit's name records, values and line table lie within it.
bool CheckDebugData(const uint8_t* data, size_t size, uint16_t version);

struct TLineHit {
  std::string UnitName, ClassName, ProcedureName;
  int32_t Line = 0;
  int32_t RelativeLine = 0;
};

// Reads count code bytes at an address of the image; false when they
// cannot be read.
using TCodeReader = std::function<bool(uint64_t address, uint8_t* buffer, size_t count)>;

// The unit, procedure and line of an address in a module whose image starts
// at moduleBase; false when no unit's code holds it or its table does not
// cover it.
bool FindLine(const uint8_t* data, size_t size, const TNameCoding& coding, uint64_t moduleBase, uint64_t address,
              const TCodeReader& readCode, TLineHit& hit);

}  // namespace RevavaRez
