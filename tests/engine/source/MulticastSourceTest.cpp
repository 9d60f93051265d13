// The multicast receiver's ring (whole records in, whole records out), the
// channel file and the choice of local addresses. Nothing here joins a group
// on the host's network: channel files are invalid, the address list is
// empty, or the only address is one no interface has, so binding fails
// before any join.
// clang-format off
#include "MulticastBroadcast.h"  // Winsock 2, before windows.h
// clang-format on
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/EngineMessages.h"
#include "base/ErrorTexts.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "base/SystemText.h"
#include "decode/Decoder.h"
#include "format/FragmentAssembler.h"
#include "KrmWriter.h"
#include "MulticastDatagrams.h"
#include "SourceStandIns.h"
#include "source/ChannelFile.h"
#include "source/KRMMulticastStream.h"

namespace {

// A documentation address (TEST-NET-1): no interface of the test machine has
// it, so a receiver on it fails at bind and joins nothing.
const char* const kForeignAddress = "192.0.2.1";

// A receiver whose losses are recorded instead of going to the debugger.
class TRecordingClient : public TKRMMulticastClient {
 public:
  ~TRecordingClient() override { EndThread(); }
  std::vector<std::string> Texts;

 protected:
  void ReportLoss(const char* Text) override { Texts.push_back(Text); }
};

KrmRecord Record(uint32_t time, size_t payload, uint8_t seed) {
  KrmRecord record;
  record.Time = time;
  record.FrameType = FT_XOR;
  record.Payload.resize(payload);
  for (size_t i = 0; i < payload; ++i) record.Payload[i] = uint8_t(seed + i * 31 + (i >> 10));
  return record;
}

// The record's bytes as a block read from the ring holds them.
Bytes BlockBytes(const FrameRecord* frame) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(frame);
  return Bytes(bytes, bytes + FrameBlockSize(frame));
}

void Give(TKRMMulticastClient& client, const Bytes& message) { client.OnData(message.data(), uint32_t(message.size())); }

struct TFreeFrame {
  void operator()(FrameRecord* p) const { FreeFrameRecord(p); }
};
using TFrame = std::unique_ptr<FrameRecord, TFreeFrame>;

TEST(MulticastClient, RecordComesOutOnlyWhenMoreThanAHeaderIsHeld) {
  TRecordingClient client;
  const KrmRecord empty = Record(1, 0, 0);
  Give(client, empty.Serialize());
  EXPECT_EQ(28u, client.Pool().Held());
  EXPECT_EQ(nullptr, client.ReadFrame());
  const KrmRecord next = Record(2, 3, 9);
  Give(client, next.Serialize());
  TFrame first(client.ReadFrame()), second(client.ReadFrame());
  ASSERT_TRUE(first && second);
  EXPECT_EQ(empty.Serialize(), BlockBytes(first.get()));
  EXPECT_EQ(next.Serialize(), BlockBytes(second.get()));
  EXPECT_EQ(0u, client.Pool().Held());
  EXPECT_TRUE(client.Texts.empty());
}

TEST(MulticastClient, RecordAcrossTheRingsEndReadsWhole) {
  TRecordingClient client;
  Give(client, Record(0, 5000000, 1).Serialize());
  TFrame(client.ReadFrame());
  const KrmRecord across = Record(40, 500000, 2);  // starts 242,852 bytes before the end
  Give(client, McastMessage({across, Record(41, 7, 3)}));
  TFrame frame(client.ReadFrame());
  ASSERT_TRUE(frame);
  EXPECT_EQ(across.Serialize(), BlockBytes(frame.get()));
  TFrame after(client.ReadFrame());
  ASSERT_TRUE(after);
  EXPECT_EQ(41u, after->Time);
  EXPECT_TRUE(client.Texts.empty());
}

TEST(MulticastClient, MessageAsLargeAsTheFreeSpaceIsDropped) {
  TRecordingClient client;
  Give(client, Record(0, 1000, 1).Serialize());
  const uint32_t free = client.Pool().FreeSpace();
  Give(client, Record(1, free - 28, 2).Serialize());
  EXPECT_EQ(std::vector<std::string>{TKRMMulticastClient::TextLoss}, client.Texts);
  EXPECT_EQ(free, client.Pool().FreeSpace());
  Give(client, Record(2, free - 29, 3).Serialize());
  EXPECT_EQ(1u, client.Texts.size());
  EXPECT_EQ(1u, client.Pool().FreeSpace());
}

TEST(MulticastClient, MessageThatDoesNotTileIsDroppedAndTheNextReadsIntact) {
  TRecordingClient client;
  Bytes cut = Record(1, 100, 1).Serialize();
  cut.resize(78);  // announces 100 payload bytes, carries 50
  Give(client, cut);
  Bytes stray = McastMessage({Record(2, 10, 2), Record(3, 10, 3)});
  stray.insert(stray.end(), 10, 0xEE);  // not a record
  Give(client, stray);
  EXPECT_EQ(0u, client.Pool().Held());
  EXPECT_EQ(2u, client.Texts.size());
  const Bytes good = McastMessage({Record(4, 20, 4), Record(5, 0, 5), Record(6, 1, 6)});
  Give(client, good);
  Bytes read;
  while (TFrame frame{client.ReadFrame()}) {
    Bytes bytes = BlockBytes(frame.get());
    read.insert(read.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(good, read);
}

// A receiver whose thread dies on its first command, before answering it.
class TDyingReceiver : public TReceiveThread {
 public:
  ~TDyingReceiver() override { EndThread(); }

 protected:
  void Execute() override {
    MSG msg;
    GetMessageW(&msg, nullptr, 0, 0);
  }
};

TEST(MulticastReceiver, CommandsToAThreadThatDiedReturn) {
  TDyingReceiver receiver;
  receiver.StartReceiving();  // the thread ends instead of answering
  EXPECT_TRUE(receiver.WaitFor(kStandInBound));
  receiver.StopReceiving();  // nobody left to post to
  EXPECT_FALSE(receiver.Receiving());
}

// A receiver whose debugger output is recorded.
class TDebugOutputReceiver : public TReceiveThread {
 public:
  ~TDebugOutputReceiver() override { EndThread(); }
  void Lose(const char* Text) { ReportLoss(Text); }
  std::vector<std::string> Lines;

 protected:
  void WriteDebugOutput(const char* Text) override { Lines.push_back(Text); }
};

TEST(MulticastReceiver, LossFloodWritesEachTextOnce) {
  // A burst that overflows the socket loses every later fragment of each
  // message: a line for each would take the receive loop's time.
  TDebugOutputReceiver receiver;
  for (int i = 0; i < 1000; ++i) {
    receiver.Lose(TFragmentAssembler::TextLossFragment);
    if (i % 50 == 0) receiver.Lose(TFragmentAssembler::TextLossMessage);
  }
  ASSERT_GE(receiver.Lines.size(), 2u);
  EXPECT_EQ(TFragmentAssembler::TextLossFragment, receiver.Lines[0]);
  EXPECT_EQ(TFragmentAssembler::TextLossMessage, receiver.Lines[1]);
  EXPECT_LE(receiver.Lines.size(), 4u);  // a second might pass in between
}

// ---- the source on invalid channel files and without addresses --------------

class MulticastSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FFolder = TestTempFolder("brx_mcast_");
  }
  // A fresh name per file: the profile functions may cache a file by name.
  std::string Channel(const std::string& text) {
    const std::string path = FFolder + "ch" + std::to_string(++FFiles) + ".sms";
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
    return path;
  }
  std::unique_ptr<TKRMMulticastStream> Source(std::vector<std::string> table) {
    return std::make_unique<TKRMMulticastStream>(&FContext, [table] { return table; });
  }
  // The code of the first WM_KRM_ERROR, -1 for WM_KRM_OPENED or nothing.
  int OpenResult(TKRMMulticastStream& source, const std::string& url) {
    source.Open(AnsiToWide(url), std::string());
    return FSink.WaitForOpenResult();
  }

  TSourceBench FBench;
  PlayerContext& FContext = FBench.Context;
  TFramesBuffer& FFrames = FBench.Frames;
  TIndexTable& FIndex = FBench.Index;
  TPlayStandIn& FPlay = FBench.Play;
  TControlSink& FSink = FBench.Sink;
  std::string FFolder;
  int FFiles = 0;
};

TEST_F(MulticastSourceTest, InvalidChannelFilesStartNoReceiver) {
  const struct {
    const char* Name;
    const char* Text;
  } cases[] = {
      {"no port", "[Address]\r\nip=238.1.2.3\r\n"},
      {"port 0", "[Address]\r\nip=238.1.2.3\r\nport=0\r\n"},
      {"port 70000", "[Address]\r\nip=238.1.2.3\r\nport=70000\r\n"},
      {"port with junk", "[Address]\r\nip=238.1.2.3\r\nport=6000x\r\n"},
      {"no ip", "[Address]\r\nport=6000\r\n"},
      {"ip abc", "[Address]\r\nip=abc\r\nport=6000\r\n"},
      {"ip of five parts", "[Address]\r\nip=238.1.2.3.4\r\nport=6000\r\n"},
      {"another section", "[Channel]\r\nip=238.1.2.3\r\nport=6000\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    auto source = Source({kForeignAddress});
    EXPECT_EQ(KRM_ERR_INVALID_SMS, OpenResult(*source, Channel(c.Text)));
    EXPECT_EQ(skMulticast, source->SourceKind());
    EXPECT_EQ(rsIdle, source->State());
    EXPECT_FALSE(source->Receiver(0).Receiving());
  }
  auto source = Source({kForeignAddress});
  EXPECT_EQ(KRM_ERR_INVALID_SMS, OpenResult(*source, FFolder + "missing.sms"));
}

TEST_F(MulticastSourceTest, ValidChannelFileStartsEveryReceiver) {
  // Any letter case for section and key. No receiver can receive on the
  // foreign address: each logs its failure and the source reports one code 3.
  auto source = Source({kForeignAddress, kForeignAddress});
  EXPECT_EQ(KRM_ERR_CONNECT, OpenResult(*source, Channel("[ADDRESS]\r\nIP=238.1.2.3\r\nPort=6123\r\n")));
  EXPECT_EQ(rsOpening, source->State());
  for (size_t i = 0; i < 2; ++i) {
    TKRMMulticastClient& receiver = source->Receiver(i);
    EXPECT_TRUE(receiver.Receiving());
    EXPECT_EQ("238.1.2.3", receiver.FGroup);
    EXPECT_EQ(6123u, receiver.FPortNo);
    EXPECT_EQ(kForeignAddress, receiver.FInterface);
    // Binding or joining fails, with the socket error's number after it.
    const std::string error = receiver.SetupError();
    EXPECT_TRUE(error.rfind(WideToGBK(L"绑定失败 ："), 0) == 0 || error.rfind(WideToGBK(L"加入多播组失败："), 0) == 0)
        << error;
    EXPECT_TRUE(error.back() >= '0' && error.back() <= '9') << error;
    EXPECT_NE(std::string::npos, LogText().find(error));
  }
  // Reported once, however long the source keeps looking: the read loop
  // has gone on until the stop, and whatever it posted is queued by then.
  source->Read(-1);
  source->Stop();
  FSink.WaitUntil([] { return true; });
  size_t errors = 0;
  for (const auto& message : FSink.Messages()) errors += message.first == WM_KRM_ERROR;
  EXPECT_EQ(1u, errors);
  EXPECT_FALSE(source->Receiver(0).Receiving());
  EXPECT_EQ(rsIdle, source->State());
}

TEST_F(MulticastSourceTest, KeyFrameThatDoesNotDecodeIsDroppedAndTheNextOpens) {
  // What a receiver holds is read whatever became of its socket: the foreign
  // address only keeps the network out.
  auto source = Source({kForeignAddress});
  KrmRecord bad = BroadcastKeyFrame(1000, 1, 2, 3);
  bad.Payload.resize(20);  // not even a bitmap header
  const KrmRecord good = BroadcastKeyFrame(2000, 4, 5, 6);
  Give(source->Receiver(0), McastMessage({bad, Record(1500, 10, 1), good, Record(2040, 10, 2)}));
  ASSERT_TRUE(TDecoder::InitDecoder());
  const int result = OpenResult(*source, Channel("[Address]\r\nip=238.1.2.3\r\nport=6000\r\n"));
  const bool buffered = result == 0 && FSink.WaitUntil([&] { return FFrames.GetCount() == 2; });
  source->Stop();
  TDecoder::UninitDecoder();
  EXPECT_EQ(0, result);
  ASSERT_TRUE(buffered);
  EXPECT_EQ(kBroadcastWidth, FContext.Header.Width);
  EXPECT_EQ(kBroadcastHeight, FContext.Header.Height);
  {
    TFramesBuffer::TLocked locked(FFrames);
    EXPECT_EQ(good.Serialize(), BlockBytes(locked.List[0]));
  }
  EXPECT_EQ(2000, FIndex.FindKeyTime(2000));
  EXPECT_NE(std::string::npos, LogText().find("key frame at 1000 ms dropped"));
}

TEST_F(MulticastSourceTest, BareChannelNameOpensFromTheCurrentFolder) {
  char previous[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, previous);
  ASSERT_TRUE(SetCurrentDirectoryA(FFolder.c_str()));
  WriteFileBytes(FFolder + "bare.sms", Bytes{'[', 'A', 'd', 'd', 'r', 'e', 's', 's', ']', '\n', 'i', 'p', '=', '2', '3',
                                             '8', '.', '0', '.', '0', '.', '9', '\n', 'p', 'o', 'r', 't', '=', '7', '\n'});
  TChannelAddress address;
  const bool read = ReadChannelFile(L"bare.sms", address);
  SetCurrentDirectoryA(previous);
  ASSERT_TRUE(read);
  EXPECT_EQ("238.0.0.9", address.Group);
  EXPECT_EQ(7, address.Port);
}

TEST_F(MulticastSourceTest, NoUsableAddressIsReportedWithoutACrash) {
  auto source = Source({"127.0.0.1", "0.0.0.0"});
  EXPECT_EQ(0u, source->ReceiverCount());
  EXPECT_EQ(KRM_ERR_DAMAGED, OpenResult(*source, Channel("[Address]\r\nip=238.1.2.3\r\nport=6000\r\n")));
  EXPECT_NE(std::string::npos, LogText().find("TKRMMulticastStream.HandleRead raise exception :"));
  // The thread lives on and answers a stop.
  source->Stop();
  EXPECT_EQ(rsIdle, source->State());
}

TEST(MulticastAddresses, LastFourUsableAddressesAreKept) {
  const std::vector<std::string> table = {"10.0.0.1", "127.0.0.1", "10.0.0.2", "10.0.0.3", "0.0.0.0",
                                          "10.0.0.4", "10.0.0.5",  "10.0.0.6"};
  PlayerContext context = {};
  TKRMMulticastStream source(&context, [&] { return table; });
  EXPECT_EQ((std::vector<std::string>{"10.0.0.3", "10.0.0.4", "10.0.0.5", "10.0.0.6"}), source.Addresses());
  EXPECT_EQ(4u, source.ReceiverCount());
  // The machine's own table, read through the platform, never offers these.
  for (const std::string& address : TKRMMulticastStream::ListLocalAddresses(TKRMMulticastStream::ReadIpAddressTable())) {
    EXPECT_NE("127.0.0.1", address);
    EXPECT_TRUE(IsDottedIPv4(address)) << address;
  }
}

}  // namespace
