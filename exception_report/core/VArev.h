#pragma once
// The library's ground floor: readable-memory tests, file, registry,
// environment and time helpers, the host test, and the guarded runner of
// each unit's set-up and shut-down.
#include <windows.h>

#include <cstdint>
#include <string>

#include "core/DateTime.h"

namespace RevavaRez {

// This module (the one that carries this copy of the library).
HMODULE ThisModule();

// Reports a failure inside the library; null until the library's start-up
// sets it.
using TInternalErrorHook = void (*)(const std::string& section);
extern TInternalErrorHook InternalErrorHook;

// Bytes readable from address on, counted over consecutive committed regions
// with plain read access until wanted is reached; 0 when a region on the way
// is not readable. Stops at the top of the address space.
size_t ReadableLength(const void* address, size_t wanted);
bool IsReadable(const void* address, size_t size);
// How many of the wanted bytes from address on can be read, stopping at the
// first byte that cannot.
size_t ReadablePrefix(const void* address, size_t wanted);
// A region's state and protection that ReadableLength accepts.
bool IsPlainReadableRegion(DWORD state, DWORD protection);

// The pointer slot that an indirect jump "FF 25" reads, from the jump's first
// six bytes at address: an absolute slot address on i686, a displacement
// from the next instruction on x86_64. 0 when the bytes are no such jump.
uintptr_t ImportJumpSlot(const uint8_t bytes[6], uintptr_t address, bool x86_64);
// The jump's target when address holds a readable import jump, else address.
uintptr_t ResolveImportJump(uintptr_t address);

TDateTime FileDateOf(const std::string& name);
// Only for a path with "~": the long name of every component that exists.
std::string ExpandLongPath(const std::string& path);
// The text of a registry value, its terminating zero dropped; empty on any
// failure.
std::string ReadRegistryText(HKEY root, const std::string& key, const std::string& valueName);
// Local time minus UTC in whole hours.
int TimeZoneHours();
int RoundedZoneHours(TDateTime local, TDateTime utc);

// The file name by which the development environment's own program is
// recognised, upper case.
extern const char* const IDEHostFileName;
bool IsIDEHostName(const std::string& mainModuleFileName);
// Computed by the unit's set-up.
bool IsIDEHost();

bool CanWriteFile(const std::string& name);
bool CanReadFile(const std::string& name);
// The value (at most 1,024 bytes); empty when missing or longer.
std::string EnvironmentText(const std::string& name);
std::string ProfileFolder();
bool FolderExists(const std::string& path);
// Keeps name when it passes the test (read-only: can be read; else: can be
// written); otherwise tries it in the library's folder under the user
// profile (in a folder named after the program when moduleFolder is set),
// creating the folders, and answers whether name is now usable.
bool FindUsableFile(std::string& name, bool moduleFolder, bool readOnly);

class TVezavuModuleOptions;

// The log file of a module under its LogLocation and LogFlags options; an
// empty name stands for the options' ModuleFileName.
std::string LogFilePath(const std::string& logLocation, const std::string& moduleFileName, uint8_t logFlags,
                        const std::string& name = std::string());
std::string LogFileIn(const TVezavuModuleOptions& options, const std::string& name);
std::string LogFilePath(const TVezavuModuleOptions& options, const std::string& name = std::string());

// Runs one unit's set-up or shut-down. A failure is reported to
// InternalErrorHook, which is followed by EAbort; without the hook it
// becomes "Critical error at: ..." (or "General internal error.").
void RunGuarded(void (*procedure)(), const char* label);
// RunGuarded at the module's entry, where nothing may escape: the critical
// error goes to the debugger output and EAbort ends the step silently.
// False when the procedure failed.
bool RunGuardedAtEntry(void (*procedure)(), const char* label);

// The unit's own set-up and shut-down, counted: only the first set-up and
// the matching last shut-down do anything.
void VArevInit();
void VArevDone();

}  // namespace RevavaRez
