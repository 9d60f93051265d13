#include "base/Exception.h"

#include "base/ErrorTexts.h"

EKRMError::EKRMError(int code) : Exception(ErrorText(code)), FCode(code) {}

EAssertionFailed::EAssertionFailed(const char* unit, int line) : EAssertionFailed("Assertion failure", unit, line) {}

EAssertionFailed::EAssertionFailed(const std::string& message, const char* unit, int line)
    : Exception(message + " (" + std::string(unit) + ", line " + std::to_string(line) + ")") {}
