#pragma once
// A failed call to the hosted control: its HRESULT and the error description
// the control gave (IErrorInfo or EXCEPINFO), else the system's text.
#include <oaidl.h>
#include <windows.h>

#include <exception>
#include <string>

class EOleError : public std::exception {
 public:
  EOleError(HRESULT Code, std::wstring Message) : FCode(Code), FMessage(std::move(Message)) {}
  HRESULT Code() const noexcept { return FCode; }
  const std::wstring& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return "EOleError"; }

  // Raises for a failing result of a method of Interface on Object,
  // describing it by the error information the object set.
  static void Check(HRESULT Code, IUnknown* Object, REFIID Interface);
  // Raises for a failing result of IDispatch::Invoke with its EXCEPINFO.
  static void CheckInvoke(HRESULT Code, EXCEPINFO& Info);
  // The system's text for a result ("OLE error XXXXXXXX" when it has none).
  static std::wstring SystemText(HRESULT Code);

 private:
  HRESULT FCode;
  std::wstring FMessage;
};
