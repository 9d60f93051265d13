#pragma once
// Every setting that steers the exception-reporting library in one module,
// with its defaults and its stream form (the form a module's data block
// carries and the module block publishes). Byte-level only: no <windows.h>.
#include <array>
#include <cstdint>
#include <string>

#include "core/StringList.h"
#include "core/Streams.h"
#include "core/Texts.h"

namespace RevavaRez {

// The stream form this library writes; older data blocks carry older forms.
constexpr int kOptionsStreamVersion = 5110;
constexpr int kGeneralFieldMaskBytes = 8;
// Only the first bytes of the mask are stored and used.
constexpr int kStoredGeneralFieldMaskBytes = 5;

using TGeneralFieldMask = std::array<uint8_t, kGeneralFieldMaskBytes>;

// The option texts are stored XORed with one fixed byte.
constexpr uint8_t kScrambleByte = 0x62;
void WriteScrambledText(TStream& stream, const std::string& text);
std::string ReadScrambledText(TStream& stream);

// The mask of old streams as digits ("0"/"1", bit 0 first), and back.
std::string MaskToDigits(const uint8_t* mask, int bytes);
void DigitsToMask(const std::string& digits, uint8_t* mask, int bytes);
// Converts the 4-byte mask of a stream older than version 500 into the
// current layout: the stored bytes replace the first four of the mask.
void ConvertOldGeneralFieldMask(const uint8_t stored[4], TGeneralFieldMask& mask);

class TVezavuModuleOptions {
 public:
  TVezavuModuleOptions(bool publishShared, const std::string& moduleFileName);
  virtual ~TVezavuModuleOptions();
  TVezavuModuleOptions(const TVezavuModuleOptions&) = delete;
  TVezavuModuleOptions& operator=(const TVezavuModuleOptions&) = delete;

  virtual void PublishChanges() {}
  virtual void SetReportingOn(bool value);
  virtual void SetFreezeWatch(bool value);
  virtual void Assign(const TVezavuModuleOptions* other);
  virtual void LoadDefaults();
  virtual void WriteToStream(TStream& stream) const;
  // version: the data block's format version; a stream that ends early
  // raises EReadError, keeping what was read so far.
  virtual void ReadFromStream(TStream& stream, int version = kOptionsStreamVersion);

  void LockChanges() { ++FUpdateDepth; }
  void UnlockChanges() { --FUpdateDepth; }
  void NotifyChanged();

  // The text of an index; the empty text outside 0 to 95.
  const std::string& TextAt(int index) const;
  void SetTextAt(int index, const std::string& value);

  bool PublishShared() const { return FPublishShared; }
  int32_t UpdateDepth() const { return FUpdateDepth; }
  const std::string& MailFrom() const { return FMailFrom; }
  const std::string& MailServer() const { return FMailServer; }
  const std::string& MailUser() const { return FMailUser; }
  const std::string& MailPassword() const { return FMailPassword; }
  uint16_t MailPort() const { return FMailPort; }
  uint8_t CloseAction() const { return FCloseAction; }
  bool FreezeWatch() const { return FFreezeWatch; }
  int32_t FreezeSeconds() const { return FFreezeSeconds; }
  const std::string& FreezeText() const { return FFreezeText; }
  const std::string& ModuleFileName() const { return FModuleFileName; }
  const TGeneralFieldMask& GeneralFieldMask() const { return FGeneralFieldMask; }
  TStringList& FilterClassNames() { return FFilterClassNames; }
  const TStringList& FilterClassNames() const { return FFilterClassNames; }
  TStringList& FilterMessages() { return FFilterMessages; }
  const TStringList& FilterMessages() const { return FFilterMessages; }
  const std::array<std::string, kTextCount>& Texts() const { return FTexts; }
  bool LogActive() const { return FLogActive; }
  bool HandleActive() const { return FHandleActive; }
  bool AppendReports() const { return FAppendReports; }
  bool ShowCloseButton() const { return FShowCloseButton; }
  bool SaveLog() const { return FSaveLog; }
  uint8_t LogFlags() const { return FLogFlags; }
  uint16_t SendFlags() const { return FSendFlags; }
  uint8_t FirstTab() const { return FFirstTab; }
  int32_t LogCapacity() const { return FLogCapacity; }
  int32_t CloseButtonAfter() const { return FCloseButtonAfter; }
  const std::string& LogLocation() const { return FLogLocation; }
  const std::string& MailRecipients() const { return FMailRecipients; }
  const std::string& MailSubjectLine() const { return FMailSubjectLine; }
  const std::string& MailBody() const { return FMailBody; }
  uint8_t MailMode() const { return FMailMode; }
  uint8_t WebMode() const { return FWebMode; }
  const std::string& AttachedFileList() const { return FAttachedFileList; }
  uint8_t DialogFlags() const { return FDialogFlags; }
  int32_t AutoCloseSeconds() const { return FAutoCloseSeconds; }
  const std::string& SupportAddress() const { return FSupportAddress; }
  const std::string& PageTemplate() const { return FPageTemplate; }
  uint8_t CrashAction() const { return FCrashAction; }
  int32_t CrashCount() const { return FCrashCount; }
  int32_t CrashMinutes() const { return FCrashMinutes; }
  uint8_t StackFlags() const { return FStackFlags; }
  uint8_t BehaviourFlags() const { return FBehaviourFlags; }
  const std::string& WebAddress() const { return FWebAddress; }
  uint32_t WebPortNumber() const { return FWebPortNumber; }
  const std::string& WebLoginPassword() const { return FWebLoginPassword; }
  const std::string& WebLoginUser() const { return FWebLoginUser; }
  bool ReportingOn() const { return FReportingOn; }

  void SetPublishShared(bool value);
  void SetUpdateDepth(int32_t value);
  void SetMailFrom(const std::string& value);
  void SetMailServer(const std::string& value);
  void SetMailUser(const std::string& value);
  void SetMailPassword(const std::string& value);
  void SetMailPort(uint16_t value);
  void SetCloseAction(uint8_t value);
  void SetFreezeSeconds(int32_t value);
  void SetFreezeText(const std::string& value);
  void SetModuleFileName(const std::string& value);
  // Copies the stored bytes only; the rest of the mask keeps its value.
  void SetGeneralFieldMask(const TGeneralFieldMask& value);
  void SetFilterClassNames(const TStringList& value);
  void SetFilterMessages(const TStringList& value);
  void SetTexts(const std::array<std::string, kTextCount>& value);
  void SetLogActive(bool value);
  void SetHandleActive(bool value);
  void SetAppendReports(bool value);
  void SetShowCloseButton(bool value);
  void SetSaveLog(bool value);
  void SetLogFlags(uint8_t value);
  void SetSendFlags(uint16_t value);
  void SetFirstTab(uint8_t value);
  // A log that keeps no report would lose the one being saved: 0 means 1.
  void SetLogCapacity(int32_t value);
  void SetCloseButtonAfter(int32_t value);
  void SetLogLocation(const std::string& value);
  void SetMailRecipients(const std::string& value);
  void SetMailSubjectLine(const std::string& value);
  void SetMailBody(const std::string& value);
  void SetMailMode(uint8_t value);
  void SetWebMode(uint8_t value);
  void SetAttachedFileList(const std::string& value);
  void SetDialogFlags(uint8_t value);
  void SetAutoCloseSeconds(int32_t value);
  void SetSupportAddress(const std::string& value);
  void SetPageTemplate(const std::string& value);
  void SetCrashAction(uint8_t value);
  void SetCrashCount(int32_t value);
  void SetCrashMinutes(int32_t value);
  void SetStackFlags(uint8_t value);
  void SetBehaviourFlags(uint8_t value);
  void SetWebAddress(const std::string& value);
  void SetWebPortNumber(uint32_t value);
  void SetWebLoginPassword(const std::string& value);
  void SetWebLoginUser(const std::string& value);

 protected:
  // The plain stores behind the two virtual setters, for the overrides.
  void StoreReportingOn(bool value);
  void StoreFreezeWatch(bool value);

 private:
  template <typename T>
  void Store(T& field, const T& value) {
    field = value;
    NotifyChanged();
  }
  template <typename Body>
  void Batch(Body body);
  void ReadBody(TStream& stream, int version);

  bool FPublishShared;
  int32_t FUpdateDepth = 0;
  std::string FMailFrom;
  std::string FMailServer;
  std::string FMailUser;
  std::string FMailPassword;
  uint16_t FMailPort = 0;
  uint8_t FCloseAction = 0;
  bool FFreezeWatch = false;
  int32_t FFreezeSeconds = 0;
  std::string FFreezeText;
  std::string FModuleFileName;
  TGeneralFieldMask FGeneralFieldMask{};
  TStringList FFilterClassNames;
  TStringList FFilterMessages;
  std::array<std::string, kTextCount> FTexts;
  bool FLogActive = false;
  bool FHandleActive = false;
  bool FAppendReports = false;
  bool FShowCloseButton = false;
  bool FSaveLog = false;
  uint8_t FLogFlags = 0;
  uint16_t FSendFlags = 0;
  uint8_t FFirstTab = 0;
  int32_t FLogCapacity = 0;
  int32_t FCloseButtonAfter = 0;
  std::string FLogLocation;
  std::string FMailRecipients;
  std::string FMailSubjectLine;
  std::string FMailBody;
  uint8_t FMailMode = 0;
  uint8_t FWebMode = 0;
  std::string FAttachedFileList;
  uint8_t FDialogFlags = 0;
  int32_t FAutoCloseSeconds = 0;
  std::string FSupportAddress;
  std::string FPageTemplate;
  uint8_t FCrashAction = 0;
  int32_t FCrashCount = 0;
  int32_t FCrashMinutes = 0;
  uint8_t FStackFlags = 0;
  uint8_t FBehaviourFlags = 0;
  std::string FWebAddress;
  uint32_t FWebPortNumber = 0;
  std::string FWebLoginPassword;
  std::string FWebLoginUser;
  bool FReportingOn = false;
};

// Whether fileName names the module that carries this copy of the library;
// only such an object publishes its changes.
bool NamesThisModule(const std::string& fileName);

}  // namespace RevavaRez
