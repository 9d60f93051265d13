#pragma once
// The exception-reporting library's data block as a module carries it, made
// by the tests: the options stream of any format version, written from the
// format's rules and not by the library's own writer, the block's resource
// and trailer forms, and putting a block into a copy of a module.
#include <array>
#include <initializer_list>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace brx_test {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kDataBlockMagic = 0x000FAB10;

// What an options stream carries, as the values a reader should end up
// with. Fields that a version does not store are not written.
struct TOptionsImage {
  uint8_t LogActive = 0, HandleActive = 1, LogFlags = 0x30, AppendReports = 0, SaveLog = 1, FirstTab = 0;
  uint8_t FreezeWatch = 0;
  int32_t FreezeSeconds = 60;
  std::string FreezeText = "The application seems to be frozen.";
  std::string MailFrom, MailServer, MailUser, MailPassword;
  uint16_t MailPort = 25;
  uint8_t CloseAction = 1, ShowCloseButton = 1;
  int32_t LogCapacity = 32, CloseButtonAfter = 3;
  std::string MailRecipients, MailSubjectLine;
  // Written as it is: streams before version 450 knew only "send or not".
  uint8_t MailMode = 0;
  // From version 500 five bytes; before, the first four as stored.
  std::array<uint8_t, 5> GeneralFieldMask = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  std::string LogLocation;
  uint8_t WebMode = 0;
  std::string WebAddress, WebLoginUser, WebLoginPassword;
  uint32_t WebPortNumber = 0;
  std::string AttachedFileList;
  uint16_t SendFlags = 0x0051;
  uint8_t DialogFlags = 0x1F;
  int32_t AutoCloseSeconds = 0;
  std::string SupportAddress, PageTemplate;
  uint8_t StackFlags = 0x0F, BehaviourFlags = 0x30, CrashAction = 1;
  int32_t CrashCount = 10, CrashMinutes = 1;
  std::vector<std::pair<std::string, std::string>> Filters;
  std::string MailBody;
  // Texts by index; the stream carries those its version knows.
  std::array<std::string, 96> Texts;
};

// Whether a stream of this version carries the text of this index.
bool StreamCarriesText(int index, int version);
// The options stream that a reader of this version takes for the image.
Bytes OptionsStream(const TOptionsImage& image, int version);

// The texts as the library scrambles them: a 4-byte length, then each byte
// XORed with 0x62.
void PutScrambledText(Bytes& out, const std::string& text);

// One entry of the symbol directory: routine identifier, code offset (from
// the module handle + 4096) and size.
struct TSymbolEntry {
  uint8_t Identifier = 0;
  uint32_t Offset = 0;
  uint32_t Size = 0;
};

// Broken blocks: one stated size that lies, a block cut short, or a body
// that inflates beyond any sane block.
enum class TBlockFault {
  None,
  SymbolSizeLies,   // S runs past the block
  OptionsSizeLies,  // C runs past the block
  DebugSizeLies,    // D runs past the body
  TrailerSizeLies,  // B runs past the file's start
  Truncated,        // the last bytes of the block are missing
  InflationBomb,    // the body inflates to more than 64 MiB
};

struct TDataBlock {
  uint32_t Magic = kDataBlockMagic;
  uint16_t Version = 5110;
  double Compiled = 0;
  Bytes Options;  // an options stream, or nothing
  Bytes DebugData;
  // The module's password: its check word is the magic coded with it. None
  // leaves the word 0.
  std::string Password;
  std::vector<TSymbolEntry> Symbols;  // from version 500
  TBlockFault Fault = TBlockFault::None;
};

// Bytes coded with a password as the library decodes them (its key, its
// chaining and its tail rule): names of the debug data, the password check.
Bytes Encrypted(const std::string& password, const Bytes& plain);

// The resource form: magic, version, date, then for version 500 and later
// the symbol directory, the zlib-compressed options, a password check
// word and the compressed body; before 500 the body (compressed from 450)
// holds the options and the debug data.
Bytes ResourceBlock(const TDataBlock& block);
// The trailer form appended to a module file, ending with lastWord (the
// magic in a good trailer).
Bytes TrailerBlock(const TDataBlock& block, uint32_t lastWord = kDataBlockMagic);

// Debug data. Names are name records: a length byte and the bytes, XORed
// with 0x62 before version 500 and coded with the password from 500 on.
Bytes NameRecord(const std::string& name, int version, const std::string& password = {});
// Above version 501: the name's record with the top length bit set, then
// the qualifier's record.
Bytes QualifiedNameRecord(const std::string& qualifier, const std::string& name, int version,
                          const std::string& password = {});

// Line records by form. Steps are what the record adds (at least 1, except
// an address step of 0 in the 32-bit form, stored as 0xFFF).
Bytes ByteLine(uint32_t lineStep, uint32_t addressStep);                 // 1..4, 1..32
Bytes ByteProcedureLine(uint32_t lineStep, uint32_t addressStep);        // 1..8, 1..8
Bytes WordLine(uint32_t lineStep, uint32_t addressStep, bool start);     // 1..32, 1..128
Bytes DWordLine(uint32_t lineStep, uint32_t addressStep, bool start);    // 1..65536, 0..4095
// The escape: 0xFFEFFFEB (0xFFEFFFEF with a procedure start), then the
// steps less one as two 16-bit words.
Bytes EscapedLine(uint32_t lineStep, uint32_t addressStep, bool start);  // 1..65536 each

struct TDebugUnit {
  Bytes Name;  // a name record
  uint32_t FirstLine = 1, CodeStart = 0, CodeSize = 0;
  Bytes Table;  // line records, each procedure start followed by its name
};
// The unit count and units; from version 405 to 499 after a skipped part.
Bytes DebugData(const std::vector<TDebugUnit>& units, int version);

Bytes Cat(std::initializer_list<Bytes> parts);

// Copies a module file; false when the copy failed.
bool CopyModule(const std::wstring& from, const std::wstring& to);
// Puts bytes into a module file as the RCDATA resource "RURUDO".
bool PutResource(const std::wstring& module, const Bytes& bytes);
// Appends bytes to a module file.
bool AppendToFile(const std::wstring& file, const Bytes& bytes);

}  // namespace brx_test
