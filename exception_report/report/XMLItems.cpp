#include "report/XMLItems.h"

namespace RevavaRez {

TXMLItems::~TXMLItems() {
  while (!FItems.empty()) {
    delete FItems.back();
    FItems.pop_back();
  }
}

TXMLItem* TXMLItems::Add(const std::string& name) {
  std::unique_ptr<TXMLItem> item(new TXMLItem(name));
  FItems.push_back(item.get());
  return item.release();
}

TXMLItem::TXMLItem(const std::string& name) : Name(name) {}

TXMLItem* TXMLItem::AddChild(const std::string& name) {
  TXMLItem* child = Children.Add(name);
  child->Parent = this;
  return child;
}

void TXMLItem::AddAttribute(const std::string& name, const std::string& value) {
  Attributes += ' ';
  Attributes += name;
  Attributes += "=\"";
  Attributes += Escape(value);
  Attributes += '"';
}

std::string TXMLItem::Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 32 || b == '"' || b == '&' || b == '\'' || b == '<' || b == '>' || b >= 127) {
      // Always three digits, so that readers of the report's own format can
      // take the references at a fixed width.
      out += "&#";
      out += static_cast<char>('0' + b / 100);
      out += static_cast<char>('0' + b / 10 % 10);
      out += static_cast<char>('0' + b % 10);
      out += ';';
    } else {
      out += c;
    }
  }
  return out;
}

void TXMLItem::Render(std::string& out) {
  out += Indent;
  out += '<';
  out += Name;
  out += Attributes;
  if (Text.empty() && Children.Count() == 0) {
    out += "/>\r\n";
    return;
  }
  out += '>';
  out += Text;
  if (Children.Count() > 0) {
    out += "\r\n";
    for (int i = 0; i < Children.Count(); ++i) {
      TXMLItem* child = Children.Items(i);
      child->Indent = Indent + "  ";
      child->Render(out);
    }
    out += Indent;
  }
  out += "</";
  out += Name;
  out += ">\r\n";
}

std::string TXMLItem::Render() {
  std::string out;
  Render(out);
  return out;
}

}  // namespace RevavaRez
