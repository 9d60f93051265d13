#pragma once
// Where the log lives: the platform side of opening it, kept apart so that
// the log's text handling needs no platform header.
#include <string>

namespace RevavaRez {

// The name moved to the library's folder under the user profile when it
// cannot be used in place (read access is enough when readOnly is set).
std::string UsableLogFileName(const std::string& fileName, bool readOnly);
bool LogFileExists(const std::string& fileName);

}  // namespace RevavaRez
