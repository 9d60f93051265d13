#pragma once
// An ordered list of byte texts that can tell its owner about each change
// (the option lists bind this to their change notification).
#include <functional>
#include <string>
#include <vector>

namespace RevavaRez {

class TStringList {
 public:
  std::function<void()> OnChange;

  int Count() const { return static_cast<int>(FItems.size()); }
  // EListError for an index outside the list.
  const std::string& Strings(int index) const;
  const std::string& operator[](int index) const { return Strings(index); }
  void Put(int index, const std::string& text);
  int Add(const std::string& text);
  void Insert(int index, const std::string& text);
  void Delete(int index);
  void Clear();
  // Exact comparison; -1 when absent.
  int IndexOf(const std::string& text) const;
  void Assign(const TStringList& other);
  // The items joined, each followed by CR LF; SetText splits at CR LF, CR or
  // LF alone.
  std::string Text() const;
  void SetText(const std::string& text);

  // Changes made between the two calls are announced once, at the end.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();

 private:
  void Changed();
  void Check(int index) const;

  std::vector<std::string> FItems;
  int FUpdateCount = 0;
  bool FChangedWhileUpdating = false;
};

}  // namespace RevavaRez
