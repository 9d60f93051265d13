#pragma once
// The one exception hierarchy of the system. Every failure inside the engine
// and the control is an Exception with a message in the system code page;
// thread loops, exported functions, window procedures and COM members catch
// it and turn it into the log line, error code or HRESULT their callers need.
#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : FMessage(std::move(message)) {}
  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }
  // For a handler that marks an exception it passes on, so that whoever
  // catches it next knows it was seen.
  void SetMessage(std::string message) { FMessage = std::move(message); }

 private:
  std::string FMessage;
};

// A failure that the engine reports to the control as one of its error codes
// (1 to 15); the message is the code's text, so the log shows it too.
class EKRMError : public Exception {
 public:
  explicit EKRMError(int code);
  EKRMError(int code, std::string message) : Exception(std::move(message)), FCode(code) {}
  int Code() const noexcept { return FCode; }

 private:
  int FCode;
};

// Failed internal checks carry "Assertion failure", the unit and the line.
class EAssertionFailed : public Exception {
 public:
  EAssertionFailed(const char* unit, int line);
  // A check that explains itself: the message takes the place of
  // "Assertion failure".
  EAssertionFailed(const std::string& message, const char* unit, int line);
};

#define BRX_ASSERT(condition, unit) \
  do {                              \
    if (!(condition)) throw EAssertionFailed((unit), __LINE__); \
  } while (0)
