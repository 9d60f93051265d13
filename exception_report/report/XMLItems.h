#pragma once
// The small element tree the log's XML documents are rendered with.
#include <memory>
#include <string>
#include <vector>

namespace RevavaRez {

class TXMLItem;

// Owns its elements; destroying it frees them from the last to the first.
class TXMLItems {
 public:
  TXMLItems() = default;
  ~TXMLItems();
  TXMLItems(const TXMLItems&) = delete;
  TXMLItems& operator=(const TXMLItems&) = delete;

  TXMLItem* Add(const std::string& name);
  TXMLItem* Items(int index) const { return FItems[static_cast<size_t>(index)]; }
  int Count() const { return static_cast<int>(FItems.size()); }

 private:
  friend class TXMLItem;
  std::vector<TXMLItem*> FItems;
};

class TXMLItem {
 public:
  explicit TXMLItem(const std::string& name);

  TXMLItem* AddChild(const std::string& name);
  // Appends ' name="escaped value"'.
  void AddAttribute(const std::string& name, const std::string& value);
  // Appends the element to out.
  void Render(std::string& out);
  std::string Render();
  static std::string Escape(const std::string& text);

  std::string Name;
  std::string Text;  // written as it is: the caller escapes it
  std::string Attributes;
  std::string Indent;
  TXMLItems Children;
  TXMLItem* Parent = nullptr;
};

}  // namespace RevavaRez
