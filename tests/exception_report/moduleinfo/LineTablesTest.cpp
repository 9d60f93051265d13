// Addresses through a module's line tables: the record forms, the ranges
// they give, procedure names and the first-line rules, over debug data laid
// out for this test program's own image.
#include <gtest/gtest.h>

#include <windows.h>

#include "DataBlockBuilder.h"
#include "moduleinfo/DebugData.h"
#include "moduleinfo/LineTables.h"
#include "packing/Base64.h"

using brx_test::Bytes;
using namespace brx_test;
using namespace RevavaRez;

namespace {

// Code the procedures point at: a stack frame, a saved register, and
// neither followed by a frame.
alignas(16) const uint8_t kFramed[64] = {0x55, 0x8B, 0xEC, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,
                                         0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,
                                         0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90};
alignas(16) const uint8_t kSavesRegister[16] = {0x53, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90};
alignas(16) const uint8_t kNeitherThenFramed[16] = {0x90, 0x90, 0x90, 0x55, 0x8B, 0xEC, 0x90, 0x90};

uintptr_t Base() { return reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr)); }
uintptr_t At(const void* code, int delta) { return reinterpret_cast<uintptr_t>(code) + delta; }
// The code offset that puts the unit's first procedure start (one address
// step in) at the bytes.
uint32_t StartBefore(const void* code) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(code) - Base() - 4096 - 1);
}

TDebugUnit Unit(const std::string& name, int version, uint32_t firstLine, const void* code, uint32_t size,
                Bytes table, const std::string& password = "pw") {
  TDebugUnit unit;
  unit.Name = NameRecord(name, version, password);
  unit.FirstLine = firstLine;
  unit.CodeStart = StartBefore(code);
  unit.CodeSize = size;
  unit.Table = std::move(table);
  return unit;
}

Bytes Procedure(Bytes record, const std::string& name, int version = 5110) {
  return Cat({record, NameRecord(name, version, "pw")});
}

std::unique_ptr<TVezavuModuleInfo> Record(const Bytes& debugData, uint16_t version, bool readable = true,
                                          const std::string& password = "pw") {
  auto record = std::make_unique<TVezavuModuleInfo>();
  record->Handle = GetModuleHandleW(nullptr);
  record->BlockVersion = version;
  record->NamesReadable = readable;
  record->Password = password;
  record->DebugData = std::make_unique<TMemoryStream>();
  record->DebugData->WriteBuffer(debugData.data(), static_cast<int64_t>(debugData.size()));
  return record;
}

struct TQuery {
  const char* What;
  uintptr_t Address;
  bool Found;
  const char* UnitName;
  const char* ClassName;
  const char* ProcedureName;
  int Line;
  int RelativeLine;
};

void Check(TVezavuModuleInfo& record, const TQuery& q) {
  SCOPED_TRACE(q.What);
  TVezavuDebugInfo info;
  ASSERT_EQ(FindInLineTables(record, q.Address, info), q.Found);
  if (!q.Found) return;
  EXPECT_EQ(info.Kind, dkLineTables);
  EXPECT_EQ(info.Address, q.Address);
  EXPECT_EQ(info.UnitName, q.UnitName);
  EXPECT_EQ(info.ClassName, q.ClassName);
  EXPECT_EQ(info.ProcedureName, q.ProcedureName);
  EXPECT_EQ(info.Line, q.Line);
  EXPECT_EQ(info.RelativeLine, q.RelativeLine);
}

}  // namespace

TEST(LineRecords, EveryForm) {
  struct TCase {
    const char* What;
    Bytes Bytes_;
    uint16_t Version;
    bool Read;
    size_t Length;
    bool Start;
    uint32_t LineStep, AddressStep;
  };
  const TCase cases[] = {
      {"0x00", {0x00}, 5110, true, 1, false, 1, 1},
      {"byte form at its largest", {0xFE}, 5110, true, 1, false, 4, 32},
      {"byte procedure start", {0x01}, 5110, true, 1, true, 1, 1},
      {"byte procedure start at its largest", {0xFD}, 5110, true, 1, true, 8, 8},
      {"0x03 reads a word", {0x03, 0x00}, 5110, true, 2, false, 1, 1},
      {"word with start", {0xF7, 0xFF}, 5110, true, 2, true, 32, 128},
      {"32-bit with 0xFFF", {0x0B, 0x00, 0xF0, 0xFF}, 5110, true, 4, false, 1, 0},
      {"32-bit", {0x1F, 0x00, 0x40, 0x00}, 5110, true, 4, true, 2, 5},
      {"escape", {0xEB, 0xFF, 0xEF, 0xFF, 0x04, 0x00, 0x09, 0x00}, 5110, true, 8, false, 5, 10},
      {"escape with start", {0xEF, 0xFF, 0xEF, 0xFF, 0x04, 0x00, 0x09, 0x00}, 423, true, 8, true, 5, 10},
      {"no escape up to 422", {0xEB, 0xFF, 0xEF, 0xFF, 0x04, 0x00, 0x09, 0x00}, 422, true, 4, false, 0xFFFF, 0xFFF},
      {"word cut short", {0x03}, 5110, false, 0, false, 0, 0},
      {"32-bit cut short", {0x0B, 0x00, 0xF0}, 5110, false, 0, false, 0, 0},
      {"escape cut short", {0xEB, 0xFF, 0xEF, 0xFF, 0x04, 0x00, 0x09}, 5110, false, 0, false, 0, 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TLineRecord record;
    ASSERT_EQ(ReadLineRecord(c.Bytes_.data(), c.Bytes_.size(), c.Version, record), c.Read);
    if (!c.Read) continue;
    EXPECT_EQ(record.Length, c.Length);
    EXPECT_EQ(record.ProcedureStart, c.Start);
    EXPECT_EQ(record.LineStep, c.LineStep);
    EXPECT_EQ(record.AddressStep, c.AddressStep);
  }
  // The builder's forms are the same bytes.
  EXPECT_EQ(DWordLine(1, 0, false), (Bytes{0x0B, 0x00, 0xF0, 0xFF}));
  EXPECT_EQ(EscapedLine(5, 10, true), (Bytes{0xEF, 0xFF, 0xEF, 0xFF, 0x04, 0x00, 0x09, 0x00}));
}

TEST(LineTables, RangesNamesAndFirstLines) {
  const int v = 5110;
  const std::vector<TDebugUnit> units = {
      // After the one-byte start the procedure begins at kFramed, line 101.
      Unit("Forms", v, 100, kFramed, 64,
           Cat({Procedure(ByteProcedureLine(1, 1), "TMain.Create"),  // [start]        line 100
                ByteLine(2, 4),                                        // [+0, +3]       line 101
                WordLine(3, 20, false),                                // [+4, +23]      line 103
                Procedure(ByteProcedureLine(2, 2), ".Paint"),          // [+24, +25]     line 106
                DWordLine(2, 0, false),                                // no range
                EscapedLine(1000, 3, false)})),                        // [+26, +28]     line 110
      // then [+29, end] line 1110
      Unit("Sys.Units", v, 1, kSavesRegister, 16,
           Cat({Procedure(ByteProcedureLine(1, 1), "@Helper"),  // _Helper from +0, line 2
                ByteLine(1, 5)})),                              // [+0, +4] line 2; then line 3
      Unit("Init", v, 50, kNeitherThenFramed, 16,
           Cat({Procedure(ByteProcedureLine(1, 1), "Initialization"),  // +0, line 51
                ByteLine(1, 2),                                        // [+0, +1] line 51
                Procedure(ByteProcedureLine(1, 1), "Finalization"),    // [+2] line 52; then +3, line 53
                ByteLine(1, 3)})),                                     // [+3, +5] line 53
  };
  auto record = Record(DebugData(units, v), v);
  const TQuery queries[] = {
      {"before the first procedure", At(kFramed, -1), true, "Forms.pas", "", "", 100, 0},
      {"first range of a framed procedure", At(kFramed, 0), true, "Forms.pas", "TMain", "Create", 101, 0},
      {"last byte of a range", At(kFramed, 3), true, "Forms.pas", "TMain", "Create", 101, 0},
      {"first byte of the next", At(kFramed, 4), true, "Forms.pas", "TMain", "Create", 103, 2},
      {"word record's range end", At(kFramed, 23), true, "Forms.pas", "TMain", "Create", 103, 2},
      {"range before a procedure start", At(kFramed, 25), true, "Forms.pas", "TMain", "Create", 106, 5},
      // .Paint keeps the class; its code has no frame, so its first line
      // counts one less: 108 - 1.
      {"escape's range, class carried", At(kFramed, 26), true, "Forms.pas", "TMain", "Paint", 110, 3},
      {"last range runs to the unit's end", At(kFramed, 62), true, "Forms.pas", "TMain", "Paint", 1110, 1003},
      {"past the unit's end", At(kFramed, 63), false, "", "", "", 0, 0},
      {"saved register, @ made _", At(kSavesRegister, 4), true, "Sys.Units", "", "_Helper", 2, 0},
      {"after the last record", At(kSavesRegister, 5), true, "Sys.Units", "", "_Helper", 3, 1},
      {"Initialization without a frame", At(kNeitherThenFramed, 1), true, "Init.pas", "", "Initialization", 51, 0},
      {"Finalization with a frame", At(kNeitherThenFramed, 3), true, "Init.pas", "", "Finalization", 53, 1},
      {"outside every unit", Base() + 8, false, "", "", "", 0, 0},
  };
  for (const TQuery& q : queries) Check(*record, q);
}

TEST(LineTables, NameRecordsOfEveryKind) {
  // Qualified names from 502 on: qualifier.name, split into class and
  // procedure.
  {
    const Bytes table = Cat({ByteProcedureLine(1, 1), QualifiedNameRecord("TForm1", "Button1Click", 502, "pw"),
                             ByteLine(1, 4)});
    auto record = Record(DebugData({Unit("Main", 502, 10, kFramed, 16, table)}, 502), 502);
    Check(*record, {"qualified", At(kFramed, 1), true, "Main.pas", "TForm1", "Button1Click", 11, 0});
  }
  // Up to 501 the top bit is part of the length: 0x83 reads 131 bytes.
  {
    Bytes name = NameRecord("abc", 501, "pw");
    name[0] |= 0x80;
    const Bytes table = Cat({ByteProcedureLine(1, 1), name, ByteLine(1, 4)});
    auto record = Record(DebugData({Unit("Main", 501, 10, kFramed, 16, table)}, 501), 501);
    Check(*record, {"no qualifier at 501", At(kFramed, 1), false, "", "", "", 0, 0});
  }
  // Scrambled names before 500, after the skipped part from 405.
  {
    const Bytes table = Cat({Procedure(ByteProcedureLine(1, 1), "TOld.Run", 440), ByteLine(1, 4)});
    auto record = Record(DebugData({Unit("Old", 440, 7, kFramed, 16, table)}, 440), 440, false, "");
    Check(*record, {"scrambled", At(kFramed, 2), true, "Old.pas", "TOld", "Run", 8, 0});
  }
  // A wrong password: the stored bytes in Base64, lines still right.
  {
    const Bytes table = Cat({Procedure(ByteProcedureLine(1, 1), "TMain.Create"), ByteLine(1, 4)});
    const Bytes data = DebugData({Unit("Forms", 5110, 10, kFramed, 16, table)}, 5110);
    auto record = Record(data, 5110, false, "wrong");
    const Bytes unitName = NameRecord("Forms", 5110, "pw");
    const Bytes procedureName = NameRecord("TMain.Create", 5110, "pw");
    const std::string unitText = "?" + Base64Encode(unitName.data() + 1, unitName.size() - 1);
    const std::string procedureText = "?" + Base64Encode(procedureName.data() + 1, procedureName.size() - 1);
    TVezavuDebugInfo info;
    ASSERT_TRUE(FindInLineTables(*record, At(kFramed, 2), info));
    EXPECT_EQ(info.UnitName, unitText.substr(0, 1) + "p" + unitText.substr(1));
    EXPECT_EQ(info.ProcedureName, procedureText);
    EXPECT_EQ(info.ClassName, "");
    EXPECT_EQ(info.Line, 11);
  }
}

TEST(LineTables, TheWalkNeverLeavesItsTable) {
  // The first unit's table ends inside a word record; the walk must not take
  // the next unit's bytes for its second byte.
  TDebugUnit cut = Unit("Cut", 5110, 10, kFramed, 16, Bytes{0x03});
  TDebugUnit next = Unit("Next", 5110, 10, kSavesRegister, 16, Cat({ByteLine(1, 4)}));
  auto record = Record(DebugData({cut, next}, 5110), 5110);
  Check(*record, {"cut record", At(kFramed, 2), false, "", "", "", 0, 0});
  Check(*record, {"the next unit still", At(kSavesRegister, 0), true, "Next.pas", "", "", 10, 0});

  // A unit count beyond the data ends the walk at the data's end.
  Bytes data = DebugData({next}, 5110);
  data[0] = 0xFF;
  auto lying = Record(data, 5110);
  Check(*lying, {"unit count lies", At(kSavesRegister, 0), true, "Next.pas", "", "", 10, 0});
  Check(*lying, {"no more units", At(kFramed, 0), false, "", "", "", 0, 0});
}
