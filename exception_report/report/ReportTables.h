#pragma once
// The call-stack and modules tables of a report, as pure formatters over the
// lists: what they need beyond the lists (titles, flags, the thread header
// text) is passed in, so that tests feed hand-made lists at either width.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "moduleinfo/ModuleInfo.h"
#include "stack/StackList.h"

namespace RevavaRez {

// Hex digits of an address or handle in this build (8 on i686, 16 on x86_64).
constexpr int kPointerDigits = int(sizeof(void*) * 2);

// The header text of the group an entry opens: its thread, whether the group
// opens the table, and its thread flag (true: a running thread).
using TThreadHeaderFn = std::function<std::string(DWORD threadID, bool firstEntry, bool running)>;

// Title line (title and ":"), top rule, title row, rule, rows, closing rule
// and one blank line. columnTitles: address, module, unit, class, procedure,
// line. Entries whose kind is not in kindMask (a bit set over kinds) are left
// out; each change of thread or thread flag writes a header row, and a
// running group that does not open the table is set off by an empty row,
// which is what tells the log's reader that a new top-level thread begins.
std::string CallStackTableText(const TVezavuStackList& stack, const std::string& title,
                               const std::vector<std::string>& columnTitles, uint8_t stackFlags,
                               uint32_t kindMask, const TThreadHeaderFn& header,
                               int addressDigits = kPointerDigits);

// "yyyy-mm-dd hh:nn:ss", as the dialog's modules page shows it.
std::string ModuleDateText(TDateTime date);

// With write, the table framed as the call stack's; columnTitles: handle,
// name, description, version, size, modified, path. Without write only the
// section title.
std::string ModulesTableText(bool write, const std::string& title,
                             const std::vector<std::string>& columnTitles,
                             const std::vector<const TVezavuModuleInfo*>& modules,
                             int handleDigits = kPointerDigits);

}  // namespace RevavaRez
