#pragma once
// A call-stack row's source location, sent to a source editor that listens
// on the mailslots "RevavaRez0" to "RevavaRez3".
#include <cstddef>
#include <cstdint>
#include <string>

namespace RevavaRez {

// A fixed format read by another program: the same 376 bytes on every build.
#pragma pack(push, 1)
struct SourceLocationMessage {
  char ModuleName[90];
  char UnitName[90];
  char ClassName[90];
  char ProcedureName[90];
  int32_t Line;
  int32_t RelativeLine;
  uint32_t DebugValue1;
  uint32_t DebugValue2;
};
#pragma pack(pop)
static_assert(sizeof(SourceLocationMessage) == 376, "the editor reads 376 bytes");
static_assert(offsetof(SourceLocationMessage, UnitName) == 90, "");
static_assert(offsetof(SourceLocationMessage, ClassName) == 180, "");
static_assert(offsetof(SourceLocationMessage, ProcedureName) == 270, "");
static_assert(offsetof(SourceLocationMessage, Line) == 360, "");
static_assert(offsetof(SourceLocationMessage, RelativeLine) == 364, "");
static_assert(offsetof(SourceLocationMessage, DebugValue1) == 368, "");
static_assert(offsetof(SourceLocationMessage, DebugValue2) == 372, "");

// Zero-filled, texts cut to 89 characters.
SourceLocationMessage MakeSourceLocation(const std::string& moduleName, const std::string& unitName,
                                         const std::string& className, const std::string& procedureName,
                                         int32_t line, int32_t relativeLine, uint64_t debugValues);
// "\\" + server + "\mailslot\RevavaRez" + n for n 0..3; one write each,
// failures ignored. The product passes ComputerName().
void SendSourceLocation(const SourceLocationMessage& message, const std::string& server);

}  // namespace RevavaRez
