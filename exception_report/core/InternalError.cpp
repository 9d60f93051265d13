// Failures inside the library itself. They are reported only where someone
// can act on them: in the development environment or under a debugger.
#include <cstdio>

#include "core/ExceptionLog.h"
#include "core/ExceptionObjects.h"
#include "core/Hooks.h"
#include "core/Streams.h"
#include "core/VArev.h"
#include "core/VArevText.h"

namespace RevavaRez {

namespace {

const char* const kLibraryVersion = "5.1.10";
const char* const kBuiltWith = "mingw-w64 g++ " __VERSION__;
const char* const kSupportAddress = "revavarez-bugs@example.com";

std::string DumpAt(uintptr_t address) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(address);
  if (address == 0 || !IsReadable(bytes, 32)) return std::string();
  std::string dump;
  for (int i = 0; i < 32; ++i) dump += "$" + HexText(bytes[i], 2) + " ";
  return dump;
}

void ReportInternalError(const std::string& section) {
  TCaughtException caught = CurrentException();
  const std::type_info* classRef = ClassOf(caught.Object);
  if (classRef && (InheritsFromName(classRef, "EAbort") || InheritsFromName(classRef, "EVezavuSocketError")))
    return;
  if (!IsIDEHost() && !IsDebuggerAttached()) return;

  std::string message = caught.IsException ? caught.Message : "General internal error.";
  std::string className = caught.IsException ? caught.ClassName : std::string();
  uintptr_t address = LibraryHooks.RaiseAddressOf(caught.Object);
  std::string line = "[ERROR] - Section: " + section + " - Address: " + AddressText(address) +
                     " - Message: \"" + message + "\"";
  OutputDebugStringA(line.c_str());

  const void* last = LibraryHooks.LastProcessedException();
  // clang-format off
  std::string report = "Version   : " + std::string(kLibraryVersion) +
                       "\r\nDate      : " + MailDate(Now()) +
                       "\r\nOS        : " + WindowsVersionName() +
                       "\r\nRAD       : " + kBuiltWith +
                       "\r\nDump      : " + DumpAt(address) +
                       "\r\nSection   : " + section +
                       "\r\nLastExcept: " + (ClassOf(last) ? ObjectClassName(last) : std::string()) +
                       "\r\nAddress   : $" + AddressText(address) +
                       "\r\nException : " + className +
                       "\r\nMessage   : " + message +
                       "\r\nCall Stack: " + InternalStackText();
  // clang-format on

  std::string file = ChangeFileExt(ModuleFileNameOf(nullptr), ".log");
  if (!FindUsableFile(file, true, false)) return;
  {
    TFileStream stream(file, fmCreate);
    stream.WriteBuffer(report.data(), static_cast<int64_t>(report.size()));
  }
  std::string question = "Error: '" + message +
                         "'\r\n\r\nThis is an internal RevavaRez bug.\r\n"
                         "Do you want to send the bug information to RevavaRez author?";
  if (MessageBoxA(nullptr, question.c_str(), "Probably internal bug", 0x242014) != IDYES) return;
  std::string subject = "RevavaRez " + std::string(kLibraryVersion) + " critical bug.";
  if (LibraryHooks.SendMailWithAttachment(kSupportAddress, subject, subject, file)) return;
  std::string byHand = "The e-mail client could not be reached.\r\nPlease send the file \"" + file +
                       "\" to " + kSupportAddress + " yourself.";
  MessageBoxA(nullptr, byHand.c_str(), "Information", 0x242030);
}

}  // namespace

void InternalErrorHandler(const std::string& section) {
  try {
    ReportInternalError(section);
  } catch (const std::exception& e) {
    OutputDebugStringA(("InternalErrorHandler: " + std::string(e.what())).c_str());
  } catch (...) {
    OutputDebugStringA("InternalErrorHandler failed");
  }
}

std::string InternalStackText() {
  std::string text;
  try {
    std::vector<TStackEntryText> stack = LibraryHooks.CurrentThreadStack();
    for (size_t i = 0; i < stack.size(); ++i) {
      const TStackEntryText& e = stack[i];
      if (i > 0) text += std::string(12, ' ');
      // Addresses in lower case here, as the stack lines have always been.
      text += HexText(i, 2) + " $" + LowerCase(AddressText(e.Address)) + " - [" +
              LowerCase(AddressText(e.ModuleHandle)) + "] " + e.ModuleName + " ";
      if (e.Line != 0)
        text += " - " + e.Unit + " - " + e.ClassName + " - " + e.Procedure + " - " + e.LineText;
      text += "\r\n";
    }
  } catch (...) {
  }
  return text;
}

}  // namespace RevavaRez
