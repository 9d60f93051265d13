// The module options: defaults, setters with rules, notifications, Assign,
// and the stream form of every version a data block may carry.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <functional>
#include <string>

#include "DataBlockBuilder.h"
#include "core/Errors.h"
#include "core/Streams.h"
#include "TestModules.h"
#include "options/VezavuModuleOptions.h"

using namespace RevavaRez;
using brx_test::OwnFileName;
using brx_test::WrittenOptions;

namespace {

// Counts what reaches PublishChanges: it publishes only for this module.
class TCountingOptions : public TVezavuModuleOptions {
 public:
  TCountingOptions() : TVezavuModuleOptions(true, OwnFileName()) {}
  void PublishChanges() override { ++Published; }
  int Published = 0;
};

void ReadInto(TVezavuModuleOptions& options, const brx_test::Bytes& bytes, int version) {
  TMemoryStream stream;
  if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  options.ReadFromStream(stream, version);
}

std::string Hex(const uint8_t* bytes, size_t count) {
  std::string text;
  char digits[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(digits, sizeof digits, i ? " %02X" : "%02X", bytes[i]);
    text += digits;
  }
  return text;
}

TEST(Options, DefaultsOfAFreshObject) {
  TVezavuModuleOptions options(false, "");
  EXPECT_EQ(options.LogFlags(), 0x30);
  EXPECT_EQ(options.SendFlags(), 0x0051);
  EXPECT_EQ(options.DialogFlags(), 0x1F);
  EXPECT_EQ(options.StackFlags(), 0x0F);
  EXPECT_EQ(options.BehaviourFlags(), 0x30);
  EXPECT_EQ(Hex(options.GeneralFieldMask().data(), 8), "FF FF FF FF FF 00 00 00");
  EXPECT_EQ(options.PageTemplate().substr(0, 8), "<html>\r\n");
  EXPECT_NE(options.PageTemplate().find("            <%HTML_TAG%>\r\n"), std::string::npos);
  EXPECT_EQ(options.PageTemplate().substr(options.PageTemplate().size() - 9), "\r\n</html>");
  EXPECT_EQ(options.TextAt(2), "Error.");
  EXPECT_EQ(options.TextAt(14), "&OK");
  EXPECT_EQ(options.TextAt(83), "&OK");
  EXPECT_EQ(options.TextAt(96), "");
  EXPECT_EQ(options.FreezeText(), "The application seems to be frozen.");
  EXPECT_EQ(options.FreezeSeconds(), 60);
  EXPECT_EQ(options.MailPort(), 25);
  EXPECT_NE(options.MailFrom().find("@example."), std::string::npos);
  EXPECT_EQ(options.LogCapacity(), 32);
  EXPECT_EQ(options.CloseButtonAfter(), 3);
  EXPECT_EQ(options.CloseAction(), 1);
  EXPECT_EQ(options.CrashAction(), 1);
  EXPECT_EQ(options.CrashCount(), 10);
  EXPECT_EQ(options.CrashMinutes(), 1);
  EXPECT_TRUE(options.ReportingOn());
  EXPECT_TRUE(options.HandleActive());
  EXPECT_TRUE(options.SaveLog());
  EXPECT_TRUE(options.ShowCloseButton());
  EXPECT_FALSE(options.LogActive());
  EXPECT_FALSE(options.FreezeWatch());
  EXPECT_EQ(options.UpdateDepth(), 0);
}

TEST(Options, SetterRules) {
  TVezavuModuleOptions options(false, "");
  options.SetLogCapacity(0);
  EXPECT_EQ(options.LogCapacity(), 1);
  options.SetLogCapacity(7);
  EXPECT_EQ(options.LogCapacity(), 7);
  // The mask setter copies the stored bytes only.
  options.SetGeneralFieldMask({1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(Hex(options.GeneralFieldMask().data(), 8), "01 02 03 04 05 00 00 00");
}

TEST(Options, OneNotificationPerBatchAndOnePerSetter) {
  TCountingOptions options;
  options.SetMailServer("smtp.example.org");
  EXPECT_EQ(options.Published, 1);
  options.FilterClassNames().Add("EAccessViolation");
  EXPECT_EQ(options.Published, 2);

  options.Published = 0;
  options.LoadDefaults();
  EXPECT_EQ(options.Published, 1);

  TVezavuModuleOptions other(false, "");
  other.SetMailUser("someone");
  options.Published = 0;
  options.Assign(&other);
  EXPECT_EQ(options.Published, 1);
  EXPECT_EQ(options.MailUser(), "someone");

  const brx_test::Bytes stream = WrittenOptions(other);
  options.Published = 0;
  ReadInto(options, stream, kOptionsStreamVersion);
  EXPECT_EQ(options.Published, 1);
  EXPECT_EQ(options.UpdateDepth(), 0);

  // Held back while locked.
  options.Published = 0;
  options.LockChanges();
  options.SetMailPort(2525);
  EXPECT_EQ(options.Published, 0);
  options.UnlockChanges();
  options.NotifyChanged();
  EXPECT_EQ(options.Published, 1);
}

TEST(Options, OnlyTheOwnModulePublishes) {
  struct TOtherModule : TVezavuModuleOptions {
    TOtherModule() : TVezavuModuleOptions(true, "C:\\windows\\system32\\kernel32.dll") {}
    void PublishChanges() override { ++Published; }
    int Published = 0;
  } other;
  other.SetMailPort(1);
  EXPECT_EQ(other.Published, 0);
}

TEST(Options, AssignCopiesAllButTheModuleFieldsAndReportingOn) {
  TVezavuModuleOptions source(false, "source.dll");
  source.SetMailFrom("a@example.org");
  source.SetWebPortNumber(8080);
  source.SetCrashMinutes(9);
  source.SetTextAt(40, "Nom");
  source.SetReportingOn(false);
  source.FilterClassNames().Add("EFoo");
  source.FilterMessages().Add("foo happened");
  TGeneralFieldMask mask{};
  mask[0] = 0x0F;
  source.SetGeneralFieldMask(mask);

  TVezavuModuleOptions target(true, "target.dll");
  target.Assign(&source);
  EXPECT_EQ(WrittenOptions(target), WrittenOptions(source));
  EXPECT_TRUE(target.ReportingOn());
  EXPECT_TRUE(target.PublishShared());
  EXPECT_EQ(target.ModuleFileName(), "target.dll");
  EXPECT_EQ(target.FilterMessages()[0], "foo happened");
}

TEST(Options, AssignFromItselfOrNothing) {
  TCountingOptions options;
  options.SetMailUser("kept");
  options.Published = 0;
  options.Assign(&options);
  EXPECT_EQ(options.Published, 0);
  EXPECT_EQ(options.MailUser(), "kept");

  const brx_test::Bytes before = WrittenOptions(options);
  try {
    options.Assign(nullptr);
    FAIL() << "no conversion error";
  } catch (const EConvertError& failure) {
    EXPECT_STREQ(failure.what(), "Impossible to assign nil as TVezavuModuleOptions.");
  }
  EXPECT_EQ(options.Published, 0);
  EXPECT_EQ(options.UpdateDepth(), 0);
  EXPECT_EQ(WrittenOptions(options), before);
}

TEST(Options, ScrambledTexts) {
  struct TCase {
    std::string Text;
    brx_test::Bytes Stored;
  };
  const TCase cases[] = {
      {"abc\r\n", {3, 0, 0, 0, 0x03, 0x00, 0x01}},
      {"abc", {3, 0, 0, 0, 0x03, 0x00, 0x01}},
      {"", {0, 0, 0, 0}},
      // Only one line end at the very end is dropped.
      {"a\r\nb\r\n", {6, 0, 0, 0, 0x03, 0x6F, 0x68, 0x00, 0x6F, 0x68}},
      {"\r\n", {0, 0, 0, 0}},
      {"\n", {1, 0, 0, 0, 0x68}},
  };
  for (const TCase& c : cases) {
    TMemoryStream stream;
    WriteScrambledText(stream, c.Text);
    EXPECT_EQ(brx_test::Bytes(stream.Memory(), stream.Memory() + stream.Size()), c.Stored) << c.Text;
    stream.SetPosition(0);
    const std::string back = ReadScrambledText(stream);
    EXPECT_EQ(back + (c.Text.size() > 1 && c.Text.find("\r\n") == c.Text.size() - 2 ? "\r\n" : ""), c.Text);
  }
}

TEST(Options, OldMaskConversion) {
  struct TCase {
    uint8_t Stored[4];
    const char* Mask;
  };
  const TCase cases[] = {
      {{0x10, 0x00, 0x70, 0xF8}, "00 00 80 7F 00 00 00 00"},
      {{0x20, 0x00, 0x80, 0x00}, "10 00 88 7F 00 00 00 00"},
      // Exactly the dropped places: only the fifth byte's bits move down.
      {{0x00, 0x00, 0x00, 0x00}, "00 00 80 7F 00 00 00 00"},
  };
  for (const TCase& c : cases) {
    TGeneralFieldMask mask{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0};
    ConvertOldGeneralFieldMask(c.Stored, mask);
    EXPECT_EQ(Hex(mask.data(), 8), c.Mask);
  }
  const uint8_t bits[2] = {0x01, 0x80};
  EXPECT_EQ(MaskToDigits(bits, 2), "1000000000000001");
  uint8_t back[2] = {0xFF, 0xFF};
  DigitsToMask("0100", back, 2);
  EXPECT_EQ(back[0], 0x02);
  EXPECT_EQ(back[1], 0x00);
}

// Every field away from its default, so that a field left out or read into
// the wrong place shows.
void SetEverything(TVezavuModuleOptions& o) {
  o.SetLogActive(true);
  o.SetHandleActive(false);
  o.SetLogFlags(0x0B);
  o.SetAppendReports(true);
  o.SetSaveLog(false);
  o.SetFirstTab(2);
  o.SetFreezeWatch(true);
  o.SetFreezeSeconds(45);
  o.SetFreezeText("frozen?");
  o.SetMailFrom("from@example.org");
  o.SetMailServer("smtp.example.org");
  o.SetMailPort(2525);
  o.SetMailUser("user");
  o.SetMailPassword("secret");
  o.SetCloseAction(0);
  o.SetShowCloseButton(false);
  o.SetLogCapacity(99);
  o.SetCloseButtonAfter(-4);
  o.SetMailRecipients("to@example.org");
  o.SetMailSubjectLine("subject");
  o.SetMailMode(3);
  o.SetGeneralFieldMask({0x12, 0x34, 0x56, 0x78, 0x9A, 0, 0, 0});
  o.SetLogLocation("C:\\logs");
  o.SetWebMode(2);
  o.SetWebAddress("https://example.org/upload");
  o.SetWebLoginUser("webuser");
  o.SetWebLoginPassword("webpass");
  o.SetWebPortNumber(0x12345678);
  o.SetAttachedFileList("a.txt;b.txt");
  o.SetSendFlags(0x0304);
  o.SetDialogFlags(0xE0);
  o.SetAutoCloseSeconds(30);
  o.SetSupportAddress("https://example.org/support");
  o.SetPageTemplate("<p><%HTML_TAG%></p>");
  o.SetStackFlags(0x14);
  o.SetBehaviourFlags(0x43);
  o.SetCrashAction(0);
  o.SetCrashCount(5);
  o.SetCrashMinutes(15);
  o.FilterClassNames().Add("EFirst");
  o.FilterClassNames().Add("ESecond");
  o.FilterClassNames().Add("EThird");
  o.FilterMessages().Add("first");
  o.SetMailBody("body\r\nline 2");
  for (int i = 0; i < kTextCount; ++i) o.SetTextAt(i, "text " + std::to_string(i));
}

TEST(Streams, RoundTripOfTheCurrentVersion) {
  TVezavuModuleOptions source(false, "");
  SetEverything(source);
  const brx_test::Bytes stream = WrittenOptions(source);

  TVezavuModuleOptions target(false, "");
  ReadInto(target, stream, kOptionsStreamVersion);
  EXPECT_EQ(WrittenOptions(target), stream);
  EXPECT_EQ(target.WebPortNumber(), 0x12345678u);
  EXPECT_EQ(target.CloseButtonAfter(), -4);
  EXPECT_EQ(target.MailBody(), "body\r\nline 2");
  EXPECT_EQ(target.TextAt(95), "text 95");
  // The shorter list is filled up with empty texts.
  ASSERT_EQ(target.FilterMessages().Count(), 3);
  EXPECT_EQ(target.FilterMessages()[0], "first");
  EXPECT_EQ(target.FilterMessages()[2], "");
  EXPECT_EQ(target.FilterClassNames()[2], "EThird");

  // The builder, written from the format and not from the writer, agrees.
  brx_test::TOptionsImage image;
  image.LogActive = 1;
  image.HandleActive = 0;
  image.LogFlags = 0x0B;
  image.AppendReports = 1;
  image.SaveLog = 0;
  image.FirstTab = 2;
  image.FreezeWatch = 1;
  image.FreezeSeconds = 45;
  image.FreezeText = "frozen?";
  image.MailFrom = "from@example.org";
  image.MailServer = "smtp.example.org";
  image.MailPort = 2525;
  image.MailUser = "user";
  image.MailPassword = "secret";
  image.CloseAction = 0;
  image.ShowCloseButton = 0;
  image.LogCapacity = 99;
  image.CloseButtonAfter = -4;
  image.MailRecipients = "to@example.org";
  image.MailSubjectLine = "subject";
  image.MailMode = 3;
  image.GeneralFieldMask = {0x12, 0x34, 0x56, 0x78, 0x9A};
  image.LogLocation = "C:\\logs";
  image.WebMode = 2;
  image.WebAddress = "https://example.org/upload";
  image.WebLoginUser = "webuser";
  image.WebLoginPassword = "webpass";
  image.WebPortNumber = 0x12345678;
  image.AttachedFileList = "a.txt;b.txt";
  image.SendFlags = 0x0304;
  image.DialogFlags = 0xE0;
  image.AutoCloseSeconds = 30;
  image.SupportAddress = "https://example.org/support";
  image.PageTemplate = "<p><%HTML_TAG%></p>";
  image.StackFlags = 0x14;
  image.BehaviourFlags = 0x43;
  image.CrashAction = 0;
  image.CrashCount = 5;
  image.CrashMinutes = 15;
  image.Filters = {{"EFirst", "first"}, {"ESecond", ""}, {"EThird", ""}};
  image.MailBody = "body\r\nline 2";
  for (int i = 0; i < kTextCount; ++i) image.Texts[static_cast<size_t>(i)] = "text " + std::to_string(i);
  EXPECT_EQ(brx_test::OptionsStream(image, kOptionsStreamVersion), stream);
}

TEST(Streams, OlderVersionsKeepOrConvert) {
  struct TCase {
    int Version;
    uint8_t StoredMask[4];
    // What the reader must end up with.
    std::string MailFrom;
    uint16_t MailPort;
    int32_t FreezeSeconds;
    uint8_t MailMode;
    std::string Mask;
    bool WebFields;
    std::string Text8, Text12, Text16, Text17;
    uint8_t DialogFlags;
    uint16_t SendFlags;
  };
  const std::string defaultFrom = TVezavuModuleOptions(false, "").MailFrom();
  const std::string mailFrom = "from@example.org";
  const TCase cases[] = {
      {410, {0x10, 0x00, 0x70, 0xF8}, defaultFrom, 25, 60, 1, "00 00 80 7F 00", false, "T8", "T12", "T16", "T17",
       0x1F & ~0x80, 0x0051},
      {421, {0x20, 0x00, 0x80, 0x00}, defaultFrom, 25, 45, 2, "10 00 88 7F 00", false, "T8", "T12", "new", "new",
       0x1F & ~0x80, 0x0051},
      {449, {0x10, 0x00, 0x70, 0xF8}, defaultFrom, 25, 45, 2, "00 00 80 7F 00", false, "T8", "T12", "new", "new",
       0x1F & ~0x80, 0x0051},
      {450, {0x20, 0x00, 0x80, 0x00}, mailFrom, 2525, 45, 7, "10 00 88 7F 00", false, "new", "T12", "new", "new",
       0x1F & ~0x80, 0x0051 | 0x0004},
      {499, {0x10, 0x00, 0x70, 0xF8}, mailFrom, 2525, 45, 7, "00 00 80 7F 00", false, "new", "T12", "new", "new",
       0x1F & ~0x80, 0x0051 | 0x0004},
      {500, {0x10, 0x00, 0x70, 0xF8}, mailFrom, 2525, 45, 7, "10 00 70 F8 3C", true, "new", "new", "new", "new", 0x0E,
       0x0304},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Version);
    brx_test::TOptionsImage image;
    image.FreezeSeconds = 45;
    image.MailFrom = mailFrom;
    image.MailServer = "smtp.example.org";
    image.MailPort = 2525;
    image.MailMode = 7;
    std::copy(c.StoredMask, c.StoredMask + 4, image.GeneralFieldMask.begin());
    image.GeneralFieldMask[4] = 0x3C;
    image.WebMode = 1;
    image.WebAddress = "https://example.org/upload";
    image.WebPortNumber = 8080;
    image.WebLoginUser = "webuser";
    // Set only the bits the versions can tell apart.
    image.DialogFlags = c.Version >= 500 ? 0x0E : 0x1F & ~0x80;
    image.SendFlags = c.Version >= 500 ? 0x0304 : 0x0055;
    for (int i = 0; i < kTextCount; ++i) image.Texts[static_cast<size_t>(i)] = "new";

    TVezavuModuleOptions options(false, "");
    for (int i = 0; i < kTextCount; ++i) options.SetTextAt(i, "T" + std::to_string(i));
    ReadInto(options, brx_test::OptionsStream(image, c.Version), c.Version);

    EXPECT_EQ(options.MailFrom(), c.MailFrom);
    EXPECT_EQ(options.MailPort(), c.MailPort);
    EXPECT_EQ(options.FreezeSeconds(), c.FreezeSeconds);
    EXPECT_EQ(options.MailMode(), c.MailMode);
    EXPECT_EQ(Hex(options.GeneralFieldMask().data(), 5), c.Mask);
    EXPECT_EQ(options.WebAddress(), c.WebFields ? "https://example.org/upload" : "");
    EXPECT_EQ(options.WebPortNumber(), c.WebFields ? 8080u : 0u);
    EXPECT_EQ(options.WebMode(), c.WebFields ? 1 : 0);
    EXPECT_EQ(options.WebLoginUser(), c.WebFields ? "webuser" : "");
    EXPECT_EQ(options.TextAt(8), c.Text8);
    EXPECT_EQ(options.TextAt(12), c.Text12);
    EXPECT_EQ(options.TextAt(16), c.Text16);
    EXPECT_EQ(options.TextAt(17), c.Text17);
    EXPECT_EQ(options.TextAt(0), "new");
    EXPECT_EQ(options.TextAt(95), c.Version >= 500 ? "new" : "T95");
    EXPECT_EQ(options.DialogFlags(), c.DialogFlags);
    EXPECT_EQ(options.SendFlags(), c.SendFlags);
  }
}

TEST(Streams, OldDialogAndSendBytes) {
  // Before 450 the dialog byte meant "no dialog"; from 403 a byte carries
  // the own-look bit; from 450 three bytes carry three send bits.
  struct TCase {
    int Version;
    uint8_t DialogFlags;
    uint16_t SendFlags;
  };
  const TCase cases[] = {{402, 0x1E, 0x0051}, {403, 0x9E, 0x0051}, {449, 0x9F, 0x0051}, {450, 0x1F, 0x0054}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Version);
    brx_test::TOptionsImage image;
    image.DialogFlags = c.DialogFlags;
    image.SendFlags = c.SendFlags;
    TVezavuModuleOptions options(false, "");
    ReadInto(options, brx_test::OptionsStream(image, c.Version), c.Version);
    EXPECT_EQ(options.DialogFlags(), c.DialogFlags);
    EXPECT_EQ(options.SendFlags(), c.SendFlags);
  }
}

brx_test::Bytes WithDWordAt(brx_test::Bytes bytes, size_t offset, uint32_t value) {
  std::memcpy(bytes.data() + offset, &value, 4);
  return bytes;
}

TEST(Streams, ShortOrLyingStreamsFailWithReadError) {
  brx_test::TOptionsImage image;
  image.FreezeText = "frozen";
  image.Filters = {{"EOne", "one"}};
  const brx_test::Bytes good = brx_test::OptionsStream(image, kOptionsStreamVersion);
  // The freeze text's length follows the 7 flag bytes and the seconds.
  const size_t freezeTextLength = 11;
  size_t filterCount = 0;
  {
    // Find the filter count by its neighbours: the count 1 followed by the
    // length 4 of "EOne".
    const uint8_t pattern[8] = {1, 0, 0, 0, 4, 0, 0, 0};
    for (size_t i = 0; i + 8 <= good.size(); ++i)
      if (std::memcmp(good.data() + i, pattern, 8) == 0) filterCount = i;
    ASSERT_NE(filterCount, 0u);
  }
  std::vector<std::pair<std::string, brx_test::Bytes>> cases = {
      {"empty", {}},
      {"cut in the flags", brx_test::Bytes(good.begin(), good.begin() + 3)},
      {"cut in a length", brx_test::Bytes(good.begin(), good.begin() + freezeTextLength + 2)},
      {"cut in a text", brx_test::Bytes(good.begin(), good.begin() + freezeTextLength + 6)},
      {"cut in the filters", brx_test::Bytes(good.begin(), good.begin() + filterCount + 6)},
      {"cut in the last text", brx_test::Bytes(good.begin(), good.end() - 1)},
      {"text longer than the stream", WithDWordAt(good, freezeTextLength, 0x7FFFFFF0)},
      {"negative text length", WithDWordAt(good, freezeTextLength, 0xFFFFFFFF)},
      {"filter count beyond the stream", WithDWordAt(good, filterCount, 0x10000000)},
      {"negative filter count", WithDWordAt(good, filterCount, 0x80000000)},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    TCountingOptions options;
    options.Published = 0;
    EXPECT_THROW(ReadInto(options, bytes, kOptionsStreamVersion), EReadError);
    EXPECT_EQ(options.UpdateDepth(), 0);
    EXPECT_EQ(options.Published, 1);
  }
  TVezavuModuleOptions options(false, "");
  EXPECT_NO_THROW(ReadInto(options, good, kOptionsStreamVersion));
  EXPECT_EQ(options.FreezeText(), "frozen");
}

}  // namespace
