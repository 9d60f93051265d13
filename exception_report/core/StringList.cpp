#include "core/StringList.h"

#include "core/Errors.h"

namespace RevavaRez {

void TStringList::Check(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

const std::string& TStringList::Strings(int index) const {
  Check(index);
  return FItems[index];
}

void TStringList::Put(int index, const std::string& text) {
  Check(index);
  FItems[index] = text;
  Changed();
}

int TStringList::Add(const std::string& text) {
  FItems.push_back(text);
  Changed();
  return Count() - 1;
}

void TStringList::Insert(int index, const std::string& text) {
  if (index != Count()) Check(index);
  FItems.insert(FItems.begin() + index, text);
  Changed();
}

void TStringList::Delete(int index) {
  Check(index);
  FItems.erase(FItems.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (FItems.empty()) return;
  FItems.clear();
  Changed();
}

int TStringList::IndexOf(const std::string& text) const {
  for (int i = 0; i < Count(); ++i)
    if (FItems[i] == text) return i;
  return -1;
}

void TStringList::Assign(const TStringList& other) {
  if (&other == this) return;
  FItems = other.FItems;
  Changed();
}

std::string TStringList::Text() const {
  std::string text;
  for (const std::string& item : FItems) text += item + "\r\n";
  return text;
}

void TStringList::SetText(const std::string& text) {
  std::vector<std::string> items;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    items.push_back(text.substr(at, end - at));
    if (end < text.size() && text[end] == '\r') ++end;
    if (end < text.size() && text[end] == '\n') ++end;
    at = end;
  }
  FItems.swap(items);
  Changed();
}

void TStringList::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0 && FChangedWhileUpdating) {
    FChangedWhileUpdating = false;
    if (OnChange) OnChange();
  }
}

void TStringList::Changed() {
  if (FUpdateCount > 0) {
    FChangedWhileUpdating = true;
    return;
  }
  if (OnChange) OnChange();
}

}  // namespace RevavaRez
