#pragma once
// The report log: a text file holding the last reports one after another,
// read back, searched for a duplicate, queried for one value and turned into
// an XML document. File access goes through the library's file stream, so
// this unit needs no platform header.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/Errors.h"
#include "core/StringList.h"
#include "core/Streams.h"

namespace RevavaRez {

// The six characters that end every stored report.
extern const char kEntryTerminator[];

// A log file larger than this is not read: the caller reports it as the
// log's error and the file stays as it is.
constexpr int64_t kLogFileLimit = int64_t(64) << 20;

class ELogTooLarge : public EReadError {
 public:
  using EReadError::EReadError;
};

class TLogFile {
 public:
  // fileName goes through FindUsableFile (with the module-folder step);
  // an existing file is opened shared and loaded. An empty name gives an
  // empty log that can be filled and exported. EFOpenError when the file
  // cannot be opened, ELogTooLarge beyond kLogFileLimit.
  TLogFile(const std::string& fileName, bool readOnly);
  ~TLogFile();
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  int Count() const { return FEntries.Count(); }
  const std::string& Entry(int index) const { return FEntries[index]; }
  const std::string& FileName() const { return FFileName; }

  void AddEntry(const std::string& text, int maxEntries);
  // Replaces the file with the entries (WriteLogFile). EFOpenError when the
  // file cannot be made, EWriteError on a read-only log.
  void Save();
  std::string GetText() const;
  // False for arrays of different lengths.
  bool HasEntryWith(const std::vector<std::string>& keys, const std::vector<std::string>& values) const;
  std::string ReadItemValue(const std::string& key, int index) const;
  std::string EntryVersion(int index) const;
  std::string EntryToXML(int index) const;
  std::string ToXML() const;
  void SaveAsXML(const std::string& fileName) const;

  // When not empty, coded names of the call stacks are decoded on XML
  // conversion (the key is made from it once per conversion).
  std::string Password;

  // The section texts of one entry (empty when not found).
  std::string GeneralText(int index) const;
  std::string CallStackText(int index) const;
  std::string ModulesText(int index) const;
  std::string ProcessorText(int index) const;
  std::string StepsText(int index) const;

  // The text read from the stream's position to its end, split into
  // entries.
  void LoadFromStream(TStream& stream);
  // The same over a text, for the loader's own tests.
  void LoadFromText(std::string text);

 private:
  std::string FFileName;
  std::unique_ptr<TFileStream> FStream;
  bool FReadOnly = false;
  TStringList FEntries;
};

// Value laid out as HasEntryWith expects it after an item's ": ", with the
// value column at colonColumn.
std::string FormatItemValue(const std::string& value, size_t colonColumn);

}  // namespace RevavaRez
