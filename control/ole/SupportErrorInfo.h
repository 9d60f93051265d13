#pragma once
// Error reporting of the control's COM members: a member that fails sets the
// thread's error object (its message as the description) and answers a
// failure result, E_UNEXPECTED unless the failure carries an OLE error code
// of its own. No exception ever leaves a COM member.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "base/Exception.h"

// A failure that carries the OLE error code the container should see.
class EOleSysError : public Exception {
 public:
  EOleSysError(HRESULT code, std::string message) : Exception(std::move(message)), FErrorCode(code) {}
  HRESULT ErrorCode() const noexcept { return FErrorCode; }

 private:
  HRESULT FErrorCode;
};

// Throws EOleSysError when result is a failure; the message is the
// system's text for the code.
void OleCheck(HRESULT result);

// The message of an exception as wide text for the error object.
std::wstring ExceptionText(const std::exception& e) noexcept;

// Sets the thread's error object for interface iid and returns code.
HRESULT ReportComError(REFIID iid, HRESULT code, const std::wstring& description) noexcept;

// Inside a catch block: reports the exception being handled (its message as
// the description) and returns its failure result; description, when given,
// receives the message.
HRESULT ReportCurrentException(REFIID iid, std::wstring* description = nullptr) noexcept;

// Runs body and turns whatever it throws into the failure result with its
// message as the error description.
template <class TBody>
HRESULT SafeCall(REFIID iid, TBody&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (...) {
    return ReportCurrentException(iid);
  }
}

class TSupportErrorInfo : public ISupportErrorInfo {
 public:
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;
};
