#pragma once
// Where the log lives: the platform side of opening it, kept apart so that
// the log's text handling needs no platform header.
#include <string>

namespace RevavaRez {

// The name moved to the library's folder under the user profile when it
// cannot be used in place (read access is enough when readOnly is set).
std::string UsableLogFileName(const std::string& fileName, bool readOnly);
bool LogFileExists(const std::string& fileName);

// Makes text the whole new content of the log: written to a temporary file
// beside it, which then takes the log's place, so that a process that dies
// while saving leaves the old log or the new one, never a mix. Where that
// cannot be done (no file can be made in the folder, another program holds
// the log open) the log is written in place. EFOpenError, EWriteError.
void WriteLogFile(const std::string& fileName, const std::string& text);

// Null but in the tests: called once a save has the whole new log in its
// temporary file, before that file takes the log's place. A test stands
// for a process that dies there by throwing.
using TLogSaveHook = void (*)(const std::string& temporaryName);
extern TLogSaveHook LogSaveHook;

}  // namespace RevavaRez
