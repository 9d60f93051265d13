#include "options/VezavuModuleOptions.h"

#include <algorithm>

#include "core/Errors.h"
#include "core/VArevText.h"

namespace RevavaRez {

namespace {

const char kAssignNilMessage[] = "Impossible to assign nil as TVezavuModuleOptions.";
// A sender address of our own at a domain reserved for examples, so that
// nothing is ever sent in someone else's name by default.
const char kDefaultMailFrom[] = "brindolux-reports@example.com";
const char kDefaultFreezeText[] = "The application seems to be frozen.";
const char kDefaultPageTemplate[] =
    "<html>\r\n  <head>\r\n  </head>\r\n  <body TopMargin=10 LeftMargin=10>\r\n"
    "    <table width=\"100%\" border=\"0\">\r\n      <tr>\r\n        <td nowrap>\r\n"
    "          <font face=\"Lucida Console, Courier\" size=\"2\">\r\n            <%HTML_TAG%>\r\n"
    "          </font>\r\n        </td>\r\n      </tr>\r\n    </table>\r\n  </body>\r\n</html>";

// Each filter pair is two texts, each at least its 4-byte length.
constexpr int64_t kMinFilterPairBytes = 8;

// A length that cannot fit is the same failure as a stream that ends early.
[[noreturn]] void RaiseShortStream() { throw EReadError("Stream read error"); }

uint8_t ReadByte(TStream& stream) {
  uint8_t value = 0;
  stream.ReadBuffer(&value, 1);
  return value;
}

bool ReadFlag(TStream& stream) { return ReadByte(stream) != 0; }

uint16_t ReadWord(TStream& stream) {
  uint8_t bytes[2];
  stream.ReadBuffer(bytes, 2);
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t ReadDWord(TStream& stream) {
  uint8_t bytes[4];
  stream.ReadBuffer(bytes, 4);
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

int32_t ReadInt(TStream& stream) { return static_cast<int32_t>(ReadDWord(stream)); }

void WriteByte(TStream& stream, uint8_t value) { stream.WriteBuffer(&value, 1); }

void WriteWord(TStream& stream, uint16_t value) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
  stream.WriteBuffer(bytes, 2);
}

void WriteDWord(TStream& stream, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  stream.WriteBuffer(bytes, 4);
}

uint8_t WithBit(uint8_t flags, int bit, bool on) {
  return on ? static_cast<uint8_t>(flags | (1u << bit)) : static_cast<uint8_t>(flags & ~(1u << bit));
}

uint16_t WithBit16(uint16_t flags, int bit, bool on) {
  return on ? static_cast<uint16_t>(flags | (1u << bit)) : static_cast<uint16_t>(flags & ~(1u << bit));
}

// Whether the text of an index is carried by a stream of this version;
// older streams knew fewer texts and leave the others as they are.
bool TextInStream(int index, int version) {
  if (index == 17 && version < 420) return false;
  if (index == 16 && version <= 420) return false;
  if (version < 450) {
    if ((index >= 8 && index <= 11) || (index >= 18 && index <= 20) || index == 26 || index == 41 ||
        index == 52 || index == 47 || index == 48 || index >= 75)
      return false;
  }
  if (version < 500) {
    if (index == 12 || index == 13 || index == 21 || index == 27 || (index >= 46 && index <= 48) ||
        (index >= 54 && index <= 61) || (index >= 68 && index <= 74) || index == 89 || index == 94 ||
        index == 95)
      return false;
  }
  return true;
}

}  // namespace

void WriteScrambledText(TStream& stream, const std::string& text) {
  std::string stored = text;
  // A single trailing line end is the editor's, not the user's.
  if (stored.size() > 1) {
    const size_t lineEnd = stored.find("\r\n");
    if (lineEnd != std::string::npos && lineEnd == stored.size() - 2) stored.resize(lineEnd);
  }
  for (char& c : stored) c = static_cast<char>(static_cast<uint8_t>(c) ^ kScrambleByte);
  WriteDWord(stream, static_cast<uint32_t>(stored.size()));
  if (!stored.empty()) stream.WriteBuffer(stored.data(), static_cast<int32_t>(stored.size()));
}

std::string ReadScrambledText(TStream& stream) {
  const int32_t length = ReadInt(stream);
  // The length comes from a file: it must fit in what the stream still holds.
  if (length < 0 || length > stream.Remaining()) RaiseShortStream();
  std::string text(static_cast<size_t>(length), '\0');
  if (length > 0) stream.ReadBuffer(&text[0], length);
  for (char& c : text) c = static_cast<char>(static_cast<uint8_t>(c) ^ kScrambleByte);
  return text;
}

std::string MaskToDigits(const uint8_t* mask, int bytes) {
  std::string digits;
  digits.reserve(static_cast<size_t>(bytes) * 8);
  for (int bit = 0; bit < bytes * 8; ++bit) digits += (mask[bit / 8] >> (bit % 8)) & 1 ? '1' : '0';
  return digits;
}

void DigitsToMask(const std::string& digits, uint8_t* mask, int bytes) {
  for (int bit = 0; bit < bytes * 8; ++bit) {
    const bool on = bit < static_cast<int>(digits.size()) && digits[static_cast<size_t>(bit)] == '1';
    mask[bit / 8] = WithBit(mask[bit / 8], bit % 8, on);
  }
}

void ConvertOldGeneralFieldMask(const uint8_t stored[4], TGeneralFieldMask& mask) {
  std::copy(stored, stored + 4, mask.begin());
  std::string digits = MaskToDigits(mask.data(), kStoredGeneralFieldMaskBytes);
  // The fields that newer versions added to the general section sit at
  // these places of the old numbering.
  Delete(digits, 5, 1);
  Delete(digits, 20, 3);
  Delete(digits, 24, 5);
  DigitsToMask(digits, mask.data(), kStoredGeneralFieldMaskBytes);
}

TVezavuModuleOptions::TVezavuModuleOptions(bool publishShared, const std::string& moduleFileName)
    : FPublishShared(publishShared), FModuleFileName(moduleFileName) {
  FFilterClassNames.OnChange = [this] { NotifyChanged(); };
  FFilterMessages.OnChange = [this] { NotifyChanged(); };
  LoadDefaults();
  FUpdateDepth = 0;
}

TVezavuModuleOptions::~TVezavuModuleOptions() {
  FFilterClassNames.OnChange = nullptr;
  FFilterMessages.OnChange = nullptr;
}

void TVezavuModuleOptions::NotifyChanged() {
  if (FUpdateDepth <= 0 && FPublishShared && NamesThisModule(FModuleFileName)) PublishChanges();
}

const std::string& TVezavuModuleOptions::TextAt(int index) const {
  static const std::string empty;
  if (index < 0 || index >= kTextCount) return empty;
  return FTexts[static_cast<size_t>(index)];
}

void TVezavuModuleOptions::SetTextAt(int index, const std::string& value) {
  if (index < 0 || index >= kTextCount) return;
  Store(FTexts[static_cast<size_t>(index)], value);
}

void TVezavuModuleOptions::StoreReportingOn(bool value) { Store(FReportingOn, value); }
void TVezavuModuleOptions::StoreFreezeWatch(bool value) { Store(FFreezeWatch, value); }
void TVezavuModuleOptions::SetReportingOn(bool value) { StoreReportingOn(value); }
void TVezavuModuleOptions::SetFreezeWatch(bool value) { StoreFreezeWatch(value); }

void TVezavuModuleOptions::SetPublishShared(bool value) { Store(FPublishShared, value); }
void TVezavuModuleOptions::SetUpdateDepth(int32_t value) { Store(FUpdateDepth, value); }
void TVezavuModuleOptions::SetMailFrom(const std::string& value) { Store(FMailFrom, value); }
void TVezavuModuleOptions::SetMailServer(const std::string& value) { Store(FMailServer, value); }
void TVezavuModuleOptions::SetMailUser(const std::string& value) { Store(FMailUser, value); }
void TVezavuModuleOptions::SetMailPassword(const std::string& value) { Store(FMailPassword, value); }
void TVezavuModuleOptions::SetMailPort(uint16_t value) { Store(FMailPort, value); }
void TVezavuModuleOptions::SetCloseAction(uint8_t value) { Store(FCloseAction, value); }
void TVezavuModuleOptions::SetFreezeSeconds(int32_t value) { Store(FFreezeSeconds, value); }
void TVezavuModuleOptions::SetFreezeText(const std::string& value) { Store(FFreezeText, value); }
void TVezavuModuleOptions::SetModuleFileName(const std::string& value) { Store(FModuleFileName, value); }

void TVezavuModuleOptions::SetGeneralFieldMask(const TGeneralFieldMask& value) {
  std::copy(value.begin(), value.begin() + kStoredGeneralFieldMaskBytes, FGeneralFieldMask.begin());
  NotifyChanged();
}

void TVezavuModuleOptions::SetFilterClassNames(const TStringList& value) {
  FFilterClassNames.Assign(value);
}
void TVezavuModuleOptions::SetFilterMessages(const TStringList& value) { FFilterMessages.Assign(value); }
void TVezavuModuleOptions::SetTexts(const std::array<std::string, kTextCount>& value) {
  Store(FTexts, value);
}
void TVezavuModuleOptions::SetLogActive(bool value) { Store(FLogActive, value); }
void TVezavuModuleOptions::SetHandleActive(bool value) { Store(FHandleActive, value); }
void TVezavuModuleOptions::SetAppendReports(bool value) { Store(FAppendReports, value); }
void TVezavuModuleOptions::SetShowCloseButton(bool value) { Store(FShowCloseButton, value); }
void TVezavuModuleOptions::SetSaveLog(bool value) { Store(FSaveLog, value); }
void TVezavuModuleOptions::SetLogFlags(uint8_t value) { Store(FLogFlags, value); }
void TVezavuModuleOptions::SetSendFlags(uint16_t value) { Store(FSendFlags, value); }
void TVezavuModuleOptions::SetFirstTab(uint8_t value) { Store(FFirstTab, value); }
void TVezavuModuleOptions::SetLogCapacity(int32_t value) { Store(FLogCapacity, value == 0 ? 1 : value); }
void TVezavuModuleOptions::SetCloseButtonAfter(int32_t value) { Store(FCloseButtonAfter, value); }
void TVezavuModuleOptions::SetLogLocation(const std::string& value) { Store(FLogLocation, value); }
void TVezavuModuleOptions::SetMailRecipients(const std::string& value) { Store(FMailRecipients, value); }
void TVezavuModuleOptions::SetMailSubjectLine(const std::string& value) { Store(FMailSubjectLine, value); }
void TVezavuModuleOptions::SetMailBody(const std::string& value) { Store(FMailBody, value); }
void TVezavuModuleOptions::SetMailMode(uint8_t value) { Store(FMailMode, value); }
void TVezavuModuleOptions::SetWebMode(uint8_t value) { Store(FWebMode, value); }
void TVezavuModuleOptions::SetAttachedFileList(const std::string& value) { Store(FAttachedFileList, value); }
void TVezavuModuleOptions::SetDialogFlags(uint8_t value) { Store(FDialogFlags, value); }
void TVezavuModuleOptions::SetAutoCloseSeconds(int32_t value) { Store(FAutoCloseSeconds, value); }
void TVezavuModuleOptions::SetSupportAddress(const std::string& value) { Store(FSupportAddress, value); }
void TVezavuModuleOptions::SetPageTemplate(const std::string& value) { Store(FPageTemplate, value); }
void TVezavuModuleOptions::SetCrashAction(uint8_t value) { Store(FCrashAction, value); }
void TVezavuModuleOptions::SetCrashCount(int32_t value) { Store(FCrashCount, value); }
void TVezavuModuleOptions::SetCrashMinutes(int32_t value) { Store(FCrashMinutes, value); }
void TVezavuModuleOptions::SetStackFlags(uint8_t value) { Store(FStackFlags, value); }
void TVezavuModuleOptions::SetBehaviourFlags(uint8_t value) { Store(FBehaviourFlags, value); }
void TVezavuModuleOptions::SetWebAddress(const std::string& value) { Store(FWebAddress, value); }
void TVezavuModuleOptions::SetWebPortNumber(uint32_t value) { Store(FWebPortNumber, value); }
void TVezavuModuleOptions::SetWebLoginPassword(const std::string& value) { Store(FWebLoginPassword, value); }
void TVezavuModuleOptions::SetWebLoginUser(const std::string& value) { Store(FWebLoginUser, value); }

// Runs a batch of changes with notifications held back, then sends the one
// notification for all of them, whether the batch finished or raised.
template <typename Body>
void TVezavuModuleOptions::Batch(Body body) {
  LockChanges();
  try {
    body();
  } catch (...) {
    UnlockChanges();
    NotifyChanged();
    throw;
  }
  UnlockChanges();
  NotifyChanged();
}

void TVezavuModuleOptions::LoadDefaults() {
  Batch([this] {
    std::array<std::string, kTextCount> texts;
    for (int index = 0; index < kTextCount; ++index) texts[static_cast<size_t>(index)] = RevavaRez::TextAt(index);
    SetTexts(texts);
    SetFreezeWatch(false);
    SetFreezeSeconds(60);
    SetFreezeText(kDefaultFreezeText);
    SetMailFrom(kDefaultMailFrom);
    SetMailServer("");
    SetMailUser("");
    SetMailPassword("");
    SetMailPort(25);
    SetLogActive(false);
    SetSaveLog(true);
    SetFirstTab(0);
    SetHandleActive(true);
    SetAppendReports(false);
    SetShowCloseButton(true);
    SetCloseAction(1);
    SetLogFlags(0x30);
    TGeneralFieldMask mask = FGeneralFieldMask;
    std::fill(mask.begin(), mask.begin() + kStoredGeneralFieldMaskBytes, 0xFF);
    SetGeneralFieldMask(mask);
    SetLogCapacity(32);
    SetCloseButtonAfter(3);
    SetLogLocation("");
    SetMailRecipients("");
    SetMailSubjectLine("");
    SetMailBody("");
    SetMailMode(0);
    SetWebMode(0);
    SetWebAddress("");
    SetWebLoginUser("");
    SetWebLoginPassword("");
    SetWebPortNumber(0);
    SetAttachedFileList("");
    SetSendFlags(0x0051);
    SetDialogFlags(0x1F);
    SetAutoCloseSeconds(0);
    SetSupportAddress("");
    SetPageTemplate(kDefaultPageTemplate);
    SetStackFlags(0x0F);
    SetBehaviourFlags(0x30);
    SetCrashAction(1);
    SetCrashCount(10);
    SetCrashMinutes(1);
    SetReportingOn(true);
  });
}

void TVezavuModuleOptions::Assign(const TVezavuModuleOptions* other) {
  if (other == nullptr) throw EConvertError(kAssignNilMessage);
  if (other == this) return;
  Batch([this, other] {
    FFilterClassNames.Assign(other->FFilterClassNames);
    FFilterMessages.Assign(other->FFilterMessages);
    SetTexts(other->FTexts);
    SetLogActive(other->FLogActive);
    SetSaveLog(other->FSaveLog);
    SetFreezeWatch(other->FFreezeWatch);
    SetFreezeSeconds(other->FFreezeSeconds);
    SetFreezeText(other->FFreezeText);
    SetMailFrom(other->FMailFrom);
    SetMailServer(other->FMailServer);
    SetMailPort(other->FMailPort);
    SetMailUser(other->FMailUser);
    SetMailPassword(other->FMailPassword);
    SetFirstTab(other->FFirstTab);
    SetHandleActive(other->FHandleActive);
    SetAppendReports(other->FAppendReports);
    SetShowCloseButton(other->FShowCloseButton);
    SetCloseAction(other->FCloseAction);
    SetLogFlags(other->FLogFlags);
    SetLogCapacity(other->FLogCapacity);
    SetCloseButtonAfter(other->FCloseButtonAfter);
    SetLogLocation(other->FLogLocation);
    SetMailRecipients(other->FMailRecipients);
    SetMailSubjectLine(other->FMailSubjectLine);
    SetMailBody(other->FMailBody);
    SetMailMode(other->FMailMode);
    SetGeneralFieldMask(other->FGeneralFieldMask);
    SetWebMode(other->FWebMode);
    SetWebAddress(other->FWebAddress);
    SetWebLoginUser(other->FWebLoginUser);
    SetWebLoginPassword(other->FWebLoginPassword);
    SetWebPortNumber(other->FWebPortNumber);
    SetSendFlags(other->FSendFlags);
    SetAttachedFileList(other->FAttachedFileList);
    SetDialogFlags(other->FDialogFlags);
    SetAutoCloseSeconds(other->FAutoCloseSeconds);
    SetSupportAddress(other->FSupportAddress);
    SetPageTemplate(other->FPageTemplate);
    SetStackFlags(other->FStackFlags);
    SetBehaviourFlags(other->FBehaviourFlags);
    SetCrashAction(other->FCrashAction);
    SetCrashCount(other->FCrashCount);
    SetCrashMinutes(other->FCrashMinutes);
  });
}

void TVezavuModuleOptions::WriteToStream(TStream& stream) const {
  WriteByte(stream, FLogActive);
  WriteByte(stream, FHandleActive);
  WriteByte(stream, FLogFlags);
  WriteByte(stream, FAppendReports);
  WriteByte(stream, FSaveLog);
  WriteByte(stream, FFirstTab);
  WriteByte(stream, FFreezeWatch);
  WriteDWord(stream, static_cast<uint32_t>(FFreezeSeconds));
  WriteScrambledText(stream, FFreezeText);
  WriteScrambledText(stream, FMailFrom);
  WriteScrambledText(stream, FMailServer);
  WriteWord(stream, FMailPort);
  WriteScrambledText(stream, FMailUser);
  WriteScrambledText(stream, FMailPassword);
  WriteByte(stream, FCloseAction);
  WriteByte(stream, FShowCloseButton);
  WriteDWord(stream, static_cast<uint32_t>(FLogCapacity));
  WriteDWord(stream, static_cast<uint32_t>(FCloseButtonAfter));
  WriteScrambledText(stream, FMailRecipients);
  WriteScrambledText(stream, FMailSubjectLine);
  WriteByte(stream, FMailMode);
  stream.WriteBuffer(FGeneralFieldMask.data(), kStoredGeneralFieldMaskBytes);
  WriteScrambledText(stream, FLogLocation);
  WriteByte(stream, FWebMode);
  WriteScrambledText(stream, FWebAddress);
  WriteScrambledText(stream, FWebLoginUser);
  WriteScrambledText(stream, FWebLoginPassword);
  WriteDWord(stream, FWebPortNumber);
  WriteScrambledText(stream, FAttachedFileList);
  WriteWord(stream, FSendFlags);
  WriteByte(stream, FDialogFlags);
  WriteDWord(stream, static_cast<uint32_t>(FAutoCloseSeconds));
  WriteScrambledText(stream, FSupportAddress);
  WriteScrambledText(stream, FPageTemplate);
  WriteByte(stream, FStackFlags);
  WriteByte(stream, FBehaviourFlags);
  WriteByte(stream, FCrashAction);
  WriteDWord(stream, static_cast<uint32_t>(FCrashCount));
  WriteDWord(stream, static_cast<uint32_t>(FCrashMinutes));
  const int count = std::max(FFilterClassNames.Count(), FFilterMessages.Count());
  WriteDWord(stream, static_cast<uint32_t>(count));
  for (int i = 0; i < count; ++i) {
    WriteScrambledText(stream, i < FFilterClassNames.Count() ? FFilterClassNames[i] : std::string());
    WriteScrambledText(stream, i < FFilterMessages.Count() ? FFilterMessages[i] : std::string());
  }
  WriteScrambledText(stream, FMailBody);
  for (const std::string& text : FTexts) WriteScrambledText(stream, text);
}

void TVezavuModuleOptions::ReadFromStream(TStream& stream, int version) {
  Batch([this, &stream, version] { ReadBody(stream, version); });
}

void TVezavuModuleOptions::ReadBody(TStream& stream, int version) {
  const int v = version;
  SetLogActive(ReadFlag(stream));
  SetHandleActive(ReadFlag(stream));
  SetLogFlags(ReadByte(stream));
  if (v < 500) {
    uint8_t showDialog = ReadByte(stream);
    if (v < 450) showDialog ^= 1;
    SetDialogFlags(WithBit(FDialogFlags, 0, showDialog != 0));
  }
  SetAppendReports(ReadFlag(stream));
  if (v >= 450 && v < 500) {
    SetSendFlags(WithBit16(FSendFlags, 2, ReadFlag(stream)));
    SetSendFlags(WithBit16(FSendFlags, 4, ReadFlag(stream)));
    SetSendFlags(WithBit16(FSendFlags, 0, ReadFlag(stream)));
  }
  if (v > 400) {
    SetSaveLog(ReadFlag(stream));
    SetFirstTab(ReadByte(stream));
  }
  if (v > 402 && v < 500) SetDialogFlags(WithBit(FDialogFlags, 7, ReadFlag(stream)));
  if (v >= 420) {
    SetFreezeWatch(ReadFlag(stream));
    const int32_t freeze = ReadInt(stream);
    // Versions before 422 stored milliseconds.
    SetFreezeSeconds(v < 422 ? freeze / 1000 : freeze);
    SetFreezeText(ReadScrambledText(stream));
    if (v >= 450) SetMailFrom(ReadScrambledText(stream));
    SetMailServer(ReadScrambledText(stream));
  }
  if (v >= 450) SetMailPort(ReadWord(stream));
  if (v > 420) {
    SetMailUser(ReadScrambledText(stream));
    SetMailPassword(ReadScrambledText(stream));
    SetCloseAction(ReadByte(stream));
  }
  SetShowCloseButton(ReadFlag(stream));
  SetLogCapacity(ReadInt(stream));
  SetCloseButtonAfter(ReadInt(stream));
  SetMailRecipients(ReadScrambledText(stream));
  SetMailSubjectLine(ReadScrambledText(stream));
  uint8_t mailMode = ReadByte(stream);
  // Old streams only knew "send or not"; the way follows from the server.
  if (v < 450 && mailMode != 0) mailMode = FMailServer.empty() ? 1 : 2;
  SetMailMode(mailMode);
  TGeneralFieldMask mask = FGeneralFieldMask;
  if (v >= 500) {
    stream.ReadBuffer(mask.data(), kStoredGeneralFieldMaskBytes);
  } else {
    uint8_t stored[4];
    stream.ReadBuffer(stored, 4);
    ConvertOldGeneralFieldMask(stored, mask);
  }
  SetGeneralFieldMask(mask);
  if (v < 450) ReadByte(stream);
  SetLogLocation(ReadScrambledText(stream));
  if (v >= 500) {
    SetWebMode(ReadByte(stream));
    SetWebAddress(ReadScrambledText(stream));
    SetWebLoginUser(ReadScrambledText(stream));
    SetWebLoginPassword(ReadScrambledText(stream));
    SetWebPortNumber(ReadDWord(stream));
    SetAttachedFileList(ReadScrambledText(stream));
    SetSendFlags(ReadWord(stream));
    SetDialogFlags(ReadByte(stream));
    SetAutoCloseSeconds(ReadInt(stream));
    SetSupportAddress(ReadScrambledText(stream));
    SetPageTemplate(ReadScrambledText(stream));
    SetStackFlags(ReadByte(stream));
    SetBehaviourFlags(ReadByte(stream));
    SetCrashAction(ReadByte(stream));
    SetCrashCount(ReadInt(stream));
    SetCrashMinutes(ReadInt(stream));
  }
  FFilterClassNames.Clear();
  FFilterMessages.Clear();
  const int32_t count = ReadInt(stream);
  if (count < 0 || count > stream.Remaining() / kMinFilterPairBytes) RaiseShortStream();
  for (int32_t i = 0; i < count; ++i) {
    FFilterClassNames.Add(ReadScrambledText(stream));
    FFilterMessages.Add(ReadScrambledText(stream));
  }
  SetMailBody(ReadScrambledText(stream));
  for (int index = 0; index < kTextCount; ++index)
    if (TextInStream(index, v)) SetTextAt(index, ReadScrambledText(stream));
}

}  // namespace RevavaRez
