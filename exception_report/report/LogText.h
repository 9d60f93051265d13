#pragma once
// Line helpers shared by the report text layout and the log's readers.
#include <string>
#include <vector>

namespace RevavaRez {

// Splits at CR LF, CR or LF alone; a final line break gives no empty line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace RevavaRez
