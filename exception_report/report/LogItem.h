#pragma once
// The numbered, column-aligned text of a report's general sections.
#include <cstdint>
#include <string>

namespace RevavaRez {

class TLogItem {
 public:
  explicit TLogItem(int32_t firstSection = 0);

  void Clear();
  void AddSection(const std::string& title);
  // The number counts also for a hidden item, so later items keep theirs.
  void AddItem(const std::string& label, const std::string& value, bool visible = true);
  // The aligned text, empty sections removed, ending with CR LF.
  std::string GetText() const;

  const std::string& Text() const { return FText; }
  int32_t SectionNo() const { return FSectionNo; }
  int32_t ItemNo() const { return FItemNo; }

 private:
  std::string FText;
  int32_t FSectionNo = 0;
  int32_t FItemNo = 0;
  int32_t FFirstSection = 0;
};

}  // namespace RevavaRez
