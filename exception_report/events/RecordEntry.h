#pragma once
// The receiving side of an event from another module: this module works on
// a copy of the record, with an exception object of its own where the
// sender's class is foreign to it, and the texts and lists that crossed
// copied into its own memory.
#include <memory>
#include <string>

#include "core/StringList.h"
#include "events/ExceptionRecord.h"

namespace RevavaRez {

class EExternal;

// Entering on construction, leaving on destruction: the record that was
// current comes back and the converted object is freed. A null record enters
// nothing (a password request outside the processing).
class TEnteredRecord {
 public:
  explicit TEnteredRecord(const TVezavuExceptionRecord* given);
  ~TEnteredRecord();
  TEnteredRecord(const TEnteredRecord&) = delete;
  TEnteredRecord& operator=(const TEnteredRecord&) = delete;

  // This module's copy, or null when nothing was entered.
  TVezavuExceptionRecord* Record() { return FEntered ? &FCopy : nullptr; }

 private:
  bool FEntered = false;
  TVezavuExceptionRecord* FSaved = nullptr;
  TVezavuExceptionRecord FCopy{};
  std::string FText;
  std::unique_ptr<EExternal> FConverted;
};

// A class belongs to this module when its type information lies in this
// module's image.
bool ClassBelongsHere(const void* object);

// The crossing forms of this module's texts and lists.
class TTextBridge final : public TRevavaRezText {
 public:
  explicit TTextBridge(std::string& text) : FText(text) {}
  void __stdcall Get(const char** text, uint32_t* length) const override;
  void __stdcall Set(const char* text, uint32_t length) override;

 private:
  std::string& FText;
};

class TStringsBridge final : public TRevavaRezStrings {
 public:
  explicit TStringsBridge(const TStringList& list) : FList(list) {}
  int32_t __stdcall Count() const override;
  void __stdcall Get(int32_t index, const char** text, uint32_t* length) const override;

 private:
  const TStringList& FList;
};

// Another module's text or list into this module's memory; what cannot be
// read stays empty.
std::string CopyText(const TRevavaRezText* text);
void CopyStrings(const TRevavaRezStrings* source, TStringList& target);

}  // namespace RevavaRez
