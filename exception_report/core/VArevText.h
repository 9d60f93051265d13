#pragma once
// Byte-text rules of the library. Positions count from 1 and 0 means "not
// found"; every rule clips to the text instead of failing, so that no text
// a file or a user supplies can turn into an out-of-range error.
#include <cstdint>
#include <string>
#include <vector>

namespace RevavaRez {

// First position of sub in text, 0 when absent or sub is empty.
size_t Pos(const std::string& sub, const std::string& text);
// First position at or after start (a start below 1 counts as 1).
size_t PosFrom(const std::string& sub, const std::string& text, size_t start);
// Up to count characters from index; stops at the end of the text.
std::string Copy(const std::string& text, size_t index, size_t count);
// Inserts sub before index; an index past the end appends.
void Insert(const std::string& sub, std::string& text, size_t index);
// Removes up to count characters from index; an index outside does nothing.
void Delete(std::string& text, size_t index, size_t count);

// Removes characters up to the space from both ends.
std::string Trim(const std::string& text);
// ASCII case only, as the system's own comparisons of names.
std::string UpperCase(std::string text);
std::string LowerCase(std::string text);

// Every occurrence of old, in one pass; an empty old changes nothing.
std::string ReplaceAll(const std::string& text, const std::string& old, const std::string& replacement);
// Skips leading separators, then adds each trimmed part between separators
// (empty inner parts too); the last part only when it is not empty.
void SplitBySet(const std::string& separators, const std::string& text, std::vector<std::string>& parts);

std::string WithTrailingBackslash(const std::string& path);
// File name parts; the folder ends at the last "\" or ":".
std::string ExtractFileName(const std::string& path);
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& extension);

// Upper-case hexadecimal, at least digits wide.
std::string HexText(uint64_t value, int digits);
// An address or handle at pointer width (8 digits on i686, 16 on x86_64).
std::string AddressText(uintptr_t value);

// The log file rules over the option values they read: LogLocation names a
// folder or a whole ".rrl" file; bit 3 of the log flags adds "_" and the
// (made safe) computer name before the extension. An empty name stands for
// the module file name.
std::string LogFileIn(const std::string& logLocation, const std::string& name);
std::string LogFilePathFor(const std::string& logLocation, const std::string& moduleFileName,
                           uint8_t logFlags, const std::string& safeComputerName,
                           const std::string& name = std::string());
// A name with the characters that no file name may hold replaced by "_".
std::string SafeFileNamePart(const std::string& name);

}  // namespace RevavaRez
