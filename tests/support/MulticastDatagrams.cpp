#include "MulticastDatagrams.h"

#include <algorithm>

namespace {

void Put32(Bytes& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}
void Put16(Bytes& out, uint16_t value) {
  out.push_back(uint8_t(value));
  out.push_back(uint8_t(value >> 8));
}

}  // namespace

Bytes McastDatagram(uint32_t Id, uint32_t Size, uint16_t Index, uint16_t Count, const Bytes& Data) {
  Bytes out;
  out.reserve(12 + Data.size());
  Put32(out, Id);
  Put32(out, Size);
  Put16(out, Index);
  Put16(out, Count);
  out.insert(out.end(), Data.begin(), Data.end());
  return out;
}

std::vector<Bytes> McastSplit(uint32_t Id, const Bytes& Message, size_t MaxDatagram) {
  const size_t piece = MaxDatagram - 12;
  const size_t count = std::max<size_t>(1, (Message.size() + piece - 1) / piece);
  std::vector<Bytes> out;
  for (size_t i = 0; i < count; ++i) {
    const size_t from = i * piece;
    const size_t to = std::min(Message.size(), from + piece);
    out.push_back(McastDatagram(Id, uint32_t(Message.size()), uint16_t(i), uint16_t(count),
                                Bytes(Message.begin() + from, Message.begin() + to)));
  }
  return out;
}

Bytes McastMessage(const std::vector<KrmRecord>& Records) {
  Bytes out;
  for (const KrmRecord& record : Records) {
    Bytes bytes = record.Serialize();
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}
