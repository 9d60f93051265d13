#include "MulticastBroadcast.h"

#include "MulticastDatagrams.h"

KrmRecord BroadcastKeyFrame(uint32_t Time, uint8_t B, uint8_t G, uint8_t R) {
  KrmRecord record;
  record.Time = Time;
  record.FrameType = FT_KEY;
  record.CompressionType = CT_RAW;
  record.Payload = BmpFileImage(TestPicture(kBroadcastWidth, kBroadcastHeight, B, G, R));
  return record;
}

KrmRecord BroadcastFrame(uint32_t Time, size_t PayloadSize) {
  KrmRecord record;
  record.Time = Time;
  record.FrameType = FT_CURSOR;
  record.Payload.resize(PayloadSize);
  for (size_t i = 0; i < PayloadSize; ++i) record.Payload[i] = uint8_t(Time / 100 + i * 3);
  return record;
}

void AppendMessages(std::vector<Bytes>& Datagrams, uint32_t& Id, const std::vector<KrmRecord>& Records) {
  for (const KrmRecord& record : Records) {
    std::vector<Bytes> parts = McastSplit(Id++, record.Serialize());
    Datagrams.insert(Datagrams.end(), parts.begin(), parts.end());
  }
}

std::string ChannelText(const std::string& Group, uint16_t Port) {
  return "[Address]\r\nip=" + Group + "\r\nport=" + std::to_string(Port) + "\r\n";
}
