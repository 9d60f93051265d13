// The multicast source against a real broadcast: run by scripts/netns-run in
// a network namespace of its own, with the sender in another one. Opening
// on the first key frame, answering a target time, surviving damaged
// datagrams, a group that cannot be joined, and a stop under traffic.
// clang-format off
#include "MulticastPeer.h"
// clang-format on
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/EngineMessages.h"
#include "base/ErrorTexts.h"
#include "base/FramesBuffer.h"
#include "base/IndexTable.h"
#include "base/KeyFramesBuffer.h"
#include "base/SystemText.h"
#include "decode/Decoder.h"
#include "KrmWriter.h"
#include "MulticastBroadcast.h"
#include "MulticastDatagrams.h"
#include "SourceStandIns.h"
#include "source/KRMMulticastStream.h"

namespace {

constexpr DWORD kBound = 20000;
const char* const kReceiverAddress = "10.203.0.2";

// Asks the source to read on every 10 ms, as the play thread does while it
// has no record to show.
class TReadAsker {
 public:
  explicit TReadAsker(TReadThread& Source)
      : FSource(Source), FStop(CreateEventW(nullptr, TRUE, FALSE, nullptr)), FThread([this] {
          while (WaitForSingleObject(FStop.Get(), 10) == WAIT_TIMEOUT) FSource.Read(-1);
        }) {}
  ~TReadAsker() {
    SetEvent(FStop.Get());
    FThread.join();
  }

 private:
  TReadThread& FSource;
  TKernelHandle FStop;
  std::thread FThread;
};

class MulticastBroadcastTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (TMulticastPeer::SenderAddress().empty()) GTEST_SKIP() << "no multicast sender: run through scripts/netns-run";
    TDecoder::InitDecoder();
    FDecoder = true;
    FFolder = TestTempFolder("brx_mcast_net_");
  }
  void TearDown() override {
    FSource.reset();
    if (FDecoder) TDecoder::UninitDecoder();
  }
  std::string Channel(const std::string& group, uint16_t port) {
    const std::string path = FFolder + "net" + std::to_string(++FFiles) + ".sms";
    const std::string text = ChannelText(group, port);
    WriteFileBytes(path, Bytes(text.begin(), text.end()));
    return path;
  }
  TKRMMulticastStream& Open(const std::string& path) {
    FSource = std::make_unique<TKRMMulticastStream>(&FContext);
    FSource->Open(AnsiToWide(path), std::string());
    return *FSource;
  }
  // A source on the given address table in place of the machine's.
  TKRMMulticastStream& Create(std::vector<std::string> table) {
    FSource = std::make_unique<TKRMMulticastStream>(&FContext, [table] { return table; });
    return *FSource;
  }
  size_t CountFrom(uint32_t time) {
    size_t n = 0;
    TFramesBuffer::TLocked locked(FFrames);
    for (const FrameRecord* frame : locked.List) n += frame->Time >= time;
    return n;
  }
  size_t Count(UINT message) {
    size_t n = 0;
    for (const auto& m : FSink.Messages()) n += m.first == message;
    return n;
  }
  // Every buffered record, as its bytes.
  std::vector<Bytes> Buffered() {
    std::vector<Bytes> records;
    TFramesBuffer::TLocked locked(FFrames);
    for (const FrameRecord* frame : locked.List) {
      const auto* bytes = reinterpret_cast<const uint8_t*>(frame);
      records.emplace_back(bytes, bytes + FrameBlockSize(frame));
    }
    return records;
  }
  bool Holds(uint32_t time) {
    TFramesBuffer::TLocked locked(FFrames);
    for (const FrameRecord* frame : locked.List)
      if (frame->Time == time) return true;
    return false;
  }
  // After the stop, a marker of our own posted to the play stand-in comes
  // after every answer the source gave.
  std::vector<int32_t> AnswersUntilStopped() {
    FSource->Stop();
    PostThreadMessageW(FPlay.ThreadID(), WM_KRM_FRAMEREADY, WPARAM(uint32_t(-7)), 0);
    // Look before waiting: the marker may be in already, and waiting for one
    // more entry than that would wait for nothing.
    for (;;) {
      std::vector<int32_t> ready = FPlay.Ready();
      if (!ready.empty() && ready.back() == -7) {
        ready.pop_back();
        return ready;
      }
      if (!FPlay.WaitForReady(ready.size() + 1, kBound)) return {};
    }
  }

  TSourceBench FBench;
  PlayerContext& FContext = FBench.Context;
  TFramesBuffer& FFrames = FBench.Frames;
  TIndexTable& FIndex = FBench.Index;
  TPlayStandIn& FPlay = FBench.Play;
  TControlSink& FSink = FBench.Sink;
  std::unique_ptr<TKRMMulticastStream> FSource;
  std::string FFolder;
  int FFiles = 0;
  bool FDecoder = false;
};

TEST_F(MulticastBroadcastTest, OpensOnTheFirstKeyFrameAndAnswersATarget) {
  const std::string group = "238.20.0.1";
  const uint16_t port = 6201;
  const KrmRecord key = BroadcastKeyFrame(1000, 40, 80, 120);
  uint32_t id = 1;
  TMulticastPeer opening;
  TMulticastPeer::TJob job{group, port, 2000, 2000, {}};
  AppendMessages(job.Datagrams, id, {BroadcastFrame(0), BroadcastFrame(500), key});
  ASSERT_EQ(5u, job.Datagrams.size());  // the key frame spans three
  ASSERT_TRUE(opening.Start(job));

  TKRMMulticastStream& source = Open(Channel(group, port));
  ASSERT_EQ(1u, source.ReceiverCount());
  EXPECT_EQ("10.203.0.2", source.Addresses()[0]);
  ASSERT_EQ(0, FSink.WaitForOpenResult(kBound));
  opening.Cancel();
  EXPECT_EQ(rsStreaming, source.State());
  EXPECT_EQ(skMulticast, source.SourceKind());
  EXPECT_EQ(kBroadcastWidth, FContext.Header.Width);
  EXPECT_EQ(kBroadcastHeight, FContext.Header.Height);
  // Nothing before the key frame was kept: it is the first record.
  ASSERT_GE(FFrames.GetCount(), 1);
  EXPECT_EQ(key.Serialize(), Buffered()[0]);
  EXPECT_EQ(1000, FIndex.FindKeyTime(1000));

  // The rest of the broadcast, with damaged datagrams mixed in; none of the
  // damaged ones may reach the buffer, none may disturb what follows.
  std::vector<KrmRecord> rest = {BroadcastFrame(2000), BroadcastFrame(3000), BroadcastFrame(4000)};
  std::vector<Bytes> damaged;
  const auto damagedKey = [&](uint32_t time) { return McastSplit(id++, BroadcastKeyFrame(time, 1, 2, 3).Serialize()); };
  std::vector<Bytes> reordered = damagedKey(4100);
  damaged.insert(damaged.end(), {reordered[0], reordered[2], reordered[1]});
  std::vector<Bytes> gap = damagedKey(4200);
  damaged.insert(damaged.end(), {gap[0], gap[2]});
  damaged.push_back(Bytes(11, 0x5A));
  const Bytes small = BroadcastFrame(4300, 100).Serialize();
  damaged.push_back(McastDatagram(id, 60, 0, 2, Bytes(small.begin(), small.begin() + 50)));
  damaged.push_back(McastDatagram(id++, 60, 1, 2, Bytes(small.begin() + 50, small.end())));
  damaged.push_back(McastDatagram(id++, 0xFFFFFFFFu, 0, 1, BroadcastFrame(4400).Serialize()));
  damaged.push_back(McastDatagram(id++, 20469, 0, 1, BroadcastFrame(4500, 20441).Serialize()));
  ASSERT_EQ(20481u, damaged.back().size());
  Bytes cut = BroadcastFrame(4600).Serialize();
  cut.resize(cut.size() - 10);  // announces more than the message holds
  damaged.push_back(McastDatagram(id++, uint32_t(cut.size()), 0, 1, cut));
  std::vector<KrmRecord> after = {BroadcastFrame(5000), BroadcastKeyFrame(6000, 9, 9, 9), BroadcastFrame(7000),
                                  BroadcastFrame(8000)};
  TMulticastPeer::TJob second{group, port, 3000, 1, {}};
  AppendMessages(second.Datagrams, id, rest);
  second.Datagrams.insert(second.Datagrams.end(), damaged.begin(), damaged.end());
  AppendMessages(second.Datagrams, id, after);

  const int32_t before = FFrames.GetCount();
  ASSERT_TRUE(source.Read(5000));
  TMulticastPeer broadcast;
  ASSERT_TRUE(broadcast.Start(second));
  EXPECT_EQ(int64_t(second.Datagrams.size()), broadcast.Wait(kBound));
  ASSERT_TRUE(FSink.WaitUntil([&] { return Holds(8000); }, kBound));
  const std::vector<int32_t> ready = AnswersUntilStopped();
  ASSERT_EQ(1u, ready.size());

  const std::vector<Bytes> buffered = Buffered();
  ASSERT_GE(ready[0], before);
  ASSERT_LT(size_t(ready[0]), buffered.size());
  // The answer is the first record at or after 5,000 ms read since the
  // target was asked for.
  const auto timeOf = [&](size_t i) {
    FrameRecord header;
    std::memcpy(&header, buffered[i].data(), sizeof(header));
    return header.Time;
  };
  EXPECT_EQ(5000u, timeOf(size_t(ready[0])));
  for (int32_t i = before; i < ready[0]; ++i) EXPECT_LT(timeOf(size_t(i)), 5000u) << i;
  // Exactly the sound records of the second part, whole and in order.
  std::vector<Bytes> expected, got;
  for (const KrmRecord& r : rest) expected.push_back(r.Serialize());
  for (const KrmRecord& r : after) expected.push_back(r.Serialize());
  for (size_t i = size_t(before); i < buffered.size(); ++i)
    if (timeOf(i) >= 2000) got.push_back(buffered[i]);
  EXPECT_EQ(expected.size(), got.size());
  EXPECT_TRUE(expected == got);
  EXPECT_EQ(6000, FIndex.FindKeyTime(6500));
  EXPECT_EQ(0u, Count(WM_KRM_ERROR));
}

TEST_F(MulticastBroadcastTest, BroadcastOnTheLastOfThreeAddressesKeepsComingWhilePlaying) {
  const std::string group = "238.20.0.4";
  const uint16_t port = 6204;
  // Two addresses no interface has: their receivers never hold anything.
  TKRMMulticastStream& source = Create({"192.0.2.1", "192.0.2.2", kReceiverAddress});
  uint32_t id = 1;
  TMulticastPeer opening;
  TMulticastPeer::TJob job{group, port, 3000, 4000, {}};
  AppendMessages(job.Datagrams, id, {BroadcastKeyFrame(0, 1, 2, 3)});
  ASSERT_TRUE(opening.Start(job));
  source.Open(AnsiToWide(Channel(group, port)), std::string());
  ASSERT_EQ(0, FSink.WaitForOpenResult(kBound));
  opening.Cancel();

  // Playing: the play thread asks every 10 ms while the broadcast goes on
  // at 200 records a second. Every record must be taken while it asks; a
  // reader that started over at the first receiver on every request would
  // take next to none of them.
  const TReadAsker asker(source);
  constexpr uint32_t kRecords = 200, kFirst = 100000;
  std::vector<KrmRecord> records;
  for (uint32_t i = 0; i < kRecords; ++i) records.push_back(BroadcastFrame(kFirst + i * 5));
  TMulticastPeer::TJob paced{group, port, 5000, 1, {}};
  AppendMessages(paced.Datagrams, id, records);
  TMulticastPeer broadcast;
  ASSERT_TRUE(broadcast.Start(paced));
  EXPECT_EQ(int64_t(kRecords), broadcast.Wait(kBound));
  EXPECT_TRUE(FSink.WaitUntil([&] { return CountFrom(kFirst) == kRecords; }, 5000)) << CountFrom(kFirst);
  EXPECT_EQ(0u, Count(WM_KRM_ERROR));
}

TEST_F(MulticastBroadcastTest, StopWaitsForTheQuietReceiversSideBySide) {
  // Four receivers on a group nobody sends to: each answers a stop only at
  // its 1 s receive time-out. Started last to first, a tenth of a second
  // apart, each one's time-out falls just before that of the one before it
  // in the list: stopped one after the other, each would cost nearly a
  // whole time-out.
  TKRMMulticastStream& source = Create(std::vector<std::string>(4, kReceiverAddress));
  ASSERT_EQ(4u, source.ReceiverCount());
  for (size_t i = source.ReceiverCount(); i-- > 0;) {
    TKRMMulticastClient& receiver = source.Receiver(i);
    receiver.FGroup = "238.20.0.5";
    receiver.FPortNo = 6205;
    receiver.FInterface = kReceiverAddress;
    receiver.StartReceiving();
    if (i > 0) Sleep(100);  // orders the time-outs; nothing is waited for
  }
  const ULONGLONG started = GetTickCount64();
  source.Stop();
  const ULONGLONG took = GetTickCount64() - started;
  EXPECT_LT(took, 1500u);
  for (size_t i = 0; i < source.ReceiverCount(); ++i) {
    EXPECT_FALSE(source.Receiver(i).Receiving()) << i;
    EXPECT_EQ("", source.Receiver(i).SetupError()) << i;
  }
}

TEST_F(MulticastBroadcastTest, GroupThatCannotBeJoinedIsReportedOnce) {
  // A unicast address: bound, but no group to join.
  TKRMMulticastStream& source = Open(Channel("10.203.0.1", 6202));
  EXPECT_EQ(KRM_ERR_CONNECT, FSink.WaitForOpenResult(kBound));
  source.Read(-1);
  AnswersUntilStopped();
  FSink.WaitUntil([] { return true; });
  EXPECT_EQ(1u, Count(WM_KRM_ERROR));
  EXPECT_EQ(0u, Count(WM_KRM_OPENED));
}

TEST_F(MulticastBroadcastTest, StopReturnsWhileDatagramsKeepComing) {
  const std::string group = "238.20.0.3";
  const uint16_t port = 6203;
  uint32_t id = 1;
  TMulticastPeer peer;
  TMulticastPeer::TJob job{group, port, 500, 100000, {}};
  AppendMessages(job.Datagrams, id, {BroadcastKeyFrame(0, 1, 1, 1), BroadcastFrame(40), BroadcastFrame(80)});
  ASSERT_TRUE(peer.Start(job));
  TKRMMulticastStream& source = Open(Channel(group, port));
  ASSERT_EQ(0, FSink.WaitForOpenResult(kBound));
  ASSERT_TRUE(FSink.WaitUntil([&] { return FFrames.GetCount() > 20; }, kBound));
  const ULONGLONG started = GetTickCount64();
  source.Stop();
  // Each receiver sees the stop with its next datagram or its 1 s time-out.
  EXPECT_LT(GetTickCount64() - started, 3000u);
  EXPECT_FALSE(source.Receiver(0).Receiving());
  EXPECT_EQ(rsIdle, source.State());
  const ULONGLONG destroying = GetTickCount64();
  FSource.reset();
  EXPECT_LT(GetTickCount64() - destroying, 3000u);
}

}  // namespace
