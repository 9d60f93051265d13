#include "base/Exception.h"

#include "base/ErrorTexts.h"

EKRMError::EKRMError(int code) : Exception(ErrorText(code)), FCode(code) {}

EAssertionFailed::EAssertionFailed(const char* unit, int line)
    : Exception("Assertion failure (" + std::string(unit) + ", line " + std::to_string(line) + ")") {}
