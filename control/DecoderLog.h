#pragma once
// Where the exported decoder functions report a failure they swallow.
#include <string>

void LogDecoderFailure(const std::string& text);
