// The live TCP source against the loopback live peer: opening and its
// failures, the login and its permission, the stream's packets however they
// are cut, sends and keep-alives, and damaged streams. A recording subclass
// logs every hook call with the state, the thread and a copy of what it got.
// clang-format off
// Winsock before anything that includes windows.h.
#include "LivePeer.h"
// clang-format on
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KrmWriter.h"
#include "decode/Decoder.h"
#include "format/StreamPacket.h"
#include "source/KRMTCPClient.h"

namespace {

constexpr unsigned kBound = 10000;

struct TCall {
  std::string Hook;  // opened, error, sample, index, script, string, seek
  uint8_t State = 0;
  DWORD Thread = 0;
  std::string Text;  // texts; "w x h" for opened; the code for error
  Bytes Record;      // a sample's record, header and payload
};

class TRecordingClient : public TKRMTCPClient {
 public:
  using TKRMTCPClient::TKRMTCPClient;
  ~TRecordingClient() override {
    Stop();
    EndThread();
  }

  std::vector<TCall> Calls() {
    std::lock_guard<std::mutex> guard(FLock);
    return FCalls;
  }
  bool WaitFor(const std::function<bool(const std::vector<TCall>&)>& pred, unsigned bound = kBound) {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(bound), [&] { return pred(FCalls); });
  }
  bool WaitForHook(const std::string& hook, size_t count = 1, unsigned bound = kBound) {
    return WaitFor([&](const std::vector<TCall>& calls) { return Count(calls, hook) >= count; }, bound);
  }
  static size_t Count(const std::vector<TCall>& calls, const std::string& hook) {
    size_t n = 0;
    for (const TCall& c : calls) n += c.Hook == hook;
    return n;
  }
  // Every command posted before it has been handled once this returns.
  void Sync() {
    const size_t seeks = Count(Calls(), "seek");
    Seek(0);
    ASSERT_TRUE(WaitForHook("seek", seeks + 1));
  }

 protected:
  void DoOpened(int width, int height) override {
    TKRMTCPClient::DoOpened(width, height);
    Record("opened", std::to_string(width) + " x " + std::to_string(height));
  }
  void DoError(int code) override { Record("error", std::to_string(code)); }
  void DoSample(const FrameRecord* frame) override {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(frame);
    Record("sample", std::to_string(frame->Time), Bytes(p, p + FrameBlockSize(frame)));
  }
  void DoIndex(const std::string& text) override { Record("index", text); }
  void DoScript(const std::string& text) override { Record("script", text); }
  void DoString(const std::string& text) override { Record("string", text); }
  // The tests' marker in the queue: a seek that reads nothing.
  void HandleSeek(uint32_t) override { Record("seek", ""); }

 private:
  void Record(const char* hook, std::string text, Bytes record = {}) {
    {
      std::lock_guard<std::mutex> guard(FLock);
      FCalls.push_back({hook, State(), GetCurrentThreadId(), std::move(text), std::move(record)});
    }
    FChanged.notify_all();
  }

  std::mutex FLock;
  std::condition_variable FChanged;
  std::vector<TCall> FCalls;
};

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  GetComputerNameA(name, &size);
  return std::string(name, std::min<DWORD>(size, 15));
}

KrmRecord KeyFrame(uint32_t time, int width = 32, int height = 16) {
  KrmRecord r;
  r.Time = time;
  r.FrameType = FT_KEY;
  r.CompressionType = CT_RAW;
  r.Payload = BmpFileImage(TestPicture::Gradient(width, height));
  return r;
}

KrmRecord Frame(uint32_t time, int16_t type, size_t payload = 16) {
  KrmRecord r;
  r.Time = time;
  r.FrameType = type;
  r.CompressionType = CT_FIXED58;
  r.Payload.assign(payload, uint8_t(time));
  return r;
}

std::vector<std::string> Hooks(const std::vector<TCall>& calls) {
  std::vector<std::string> hooks;
  for (const TCall& c : calls)
    if (c.Hook != "seek") hooks.push_back(c.Hook + " " + c.Text);
  return hooks;
}

class LiveSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { TDecoder::InitDecoder(); }
  void TearDown() override { TDecoder::UninitDecoder(); }

  PlayerContext FContext{};
};

// ---- opening ------------------------------------------------------------------

TEST_F(LiveSourceTest, DefaultPortLogsInWithTheExactLoginText) {
  // Only this test binds 127.0.0.1:1804.
  TLivePeer peer(60000, 1804);
  TRecordingClient client(&FContext);
  client.Open(L"krms://127.0.0.1/ch", "");
  ASSERT_TRUE(peer.WaitForText("Start", 1, kBound));
  const auto logins = peer.Logins();
  ASSERT_EQ(1u, logins.size());
  EXPECT_EQ(2, logins[0].Type);
  EXPECT_EQ("Login\r\nChannel=ch\r\nComputerName=" + ComputerName() + "\r\n\r\n", logins[0].Text);
  EXPECT_EQ("127.0.0.1", client.Host());
  EXPECT_EQ("127.0.0.1", client.HostIP());
  EXPECT_EQ("ch", client.ChannelName());
  EXPECT_EQ(1804u, client.Port());
  EXPECT_EQ(rsOpening, client.State());
  EXPECT_EQ(skLive, client.SourceKind());
  EXPECT_TRUE(client.Calls().empty());
}

TEST_F(LiveSourceTest, ExplicitPortAndEscapedChannelAreDecodedAndTrimmed) {
  TLivePeer peer;
  TRecordingClient client(&FContext);
  client.Open(peer.URL("%20my%20ch%20"), "");
  ASSERT_TRUE(peer.WaitForText("Start", 1, kBound));
  EXPECT_NE(std::string::npos, peer.Logins()[0].Text.find("\r\nChannel=my ch\r\n"));
  EXPECT_EQ("my ch", client.ChannelName());
  EXPECT_EQ(peer.Port(), client.Port());
}

struct OpenFailure {
  const char* Name;
  std::function<std::wstring(TLivePeer&)> Url;
  TLivePeer::TLogin Login;
  int Code;
  unsigned Bound;
  std::string Reply = "Permission=True";
};

// A packet header of any type and length, without its payload.
std::string RawHeader(uint8_t type, uint32_t length) {
  std::string header(8, '\x77');
  header[0] = char(type);
  std::memcpy(&header[4], &length, 4);
  return header;
}

TEST_F(LiveSourceTest, OpenFailuresReportTheirCodeOnce) {
  const OpenFailure cases[] = {
      {"empty host", [](TLivePeer&) { return std::wstring(L"krms:///ch"); }, TLivePeer::TLogin::Reply, 8,
       kBound},
      {"unresolved host", [](TLivePeer&) { return std::wstring(L"krms://nohost.invalid/ch"); },
       TLivePeer::TLogin::Reply, 12, 30000},
      {"closed port",
       [](TLivePeer& peer) {
         // A port that was just listened on and is free again.
         TLivePeer closed;
         const uint16_t port = closed.Port();
         closed.Shutdown();
         (void)peer;
         return std::wstring(L"krms://127.0.0.1:") + std::to_wstring(port) + L"/ch";
       },
       TLivePeer::TLogin::Reply, 3, kBound},
      {"closed during login", [](TLivePeer& peer) { return peer.URL("ch"); }, TLivePeer::TLogin::Close, 7,
       kBound},
      // Taken as damage before any memory is asked for it.
      {"reply announcing 0xFFFFFFF0 bytes", [](TLivePeer& peer) { return peer.URL("ch"); },
       TLivePeer::TLogin::Raw, 7, kBound, RawHeader(2, 0xFFFFFFF0u) + "Permission=True"},
  };
  for (const OpenFailure& c : cases) {
    SCOPED_TRACE(c.Name);
    TLivePeer peer;
    peer.SetLogin(c.Login, c.Reply);
    TRecordingClient client(&FContext);
    client.Open(c.Url(peer), "");
    ASSERT_TRUE(client.WaitForHook("error", 1, c.Bound));
    client.Sync();
    const auto calls = client.Calls();
    EXPECT_EQ((std::vector<std::string>{"error " + std::to_string(c.Code)}), Hooks(calls));
    EXPECT_EQ(rsIdle, client.State());
  }
}

TEST_F(LiveSourceTest, StopDuringAStalledLoginReturnsAtOnceAndCallsNoHook) {
  TLivePeer peer;
  peer.SetLogin(TLivePeer::TLogin::Stall);
  TRecordingClient client(&FContext);
  client.Open(peer.URL("ch"), "");
  ASSERT_TRUE(peer.WaitForLogins(1, kBound));
  const auto start = std::chrono::steady_clock::now();
  client.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(peer.WaitForClientCloses(1, kBound));
  client.Sync();
  EXPECT_EQ(std::vector<std::string>{}, Hooks(client.Calls()));
  EXPECT_EQ(rsIdle, client.State());
}

TEST_F(LiveSourceTest, OnlyPermissionFalseExactlyRefusesTheLogin) {
  const struct {
    const char* Reply;
    int Code;  // 0: the stream starts
  } cases[] = {
      {"Permission=False", 4},
      {"permission=False", 4},
      {"Permission=false", 0},
      {"Title=t", 0},
      {"Permission=True\r\nPermission=False", 0},
      {"Title=t\nPermission=False\nAuthor=a", 4},
      {"Title=t\rPermission=False\rAuthor=a", 4},
      {"Title=t\nPermission=True\nPermission=False", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Reply);
    TLivePeer peer;
    peer.SetLogin(TLivePeer::TLogin::Reply, c.Reply);
    TRecordingClient client(&FContext);
    client.Open(peer.URL("ch"), "");
    if (c.Code == 0) {
      ASSERT_TRUE(peer.WaitForText("Start", 1, kBound));
      client.Sync();
      EXPECT_EQ(std::vector<std::string>{}, Hooks(client.Calls()));
    } else {
      ASSERT_TRUE(client.WaitForHook("error"));
      EXPECT_EQ("error 4", Hooks(client.Calls())[0]);
      EXPECT_TRUE(peer.Received().empty());
    }
  }
}

// ---- the stream ---------------------------------------------------------------

TLivePeer::TScript MixedScript() {
  TLivePeer::TScript script;
  script.Packets = {
      TLivePeer::FramePacket(Frame(10, FT_XOR)), TLivePeer::FramePacket(Frame(20, FT_CURSOR)),
      TLivePeer::TextPacket(1, "index text"),    TLivePeer::FramePacket(KeyFrame(30)),
      TLivePeer::TextPacket(2, "string text"),   TLivePeer::Packet(9, Bytes(5, 0xEE)),
      TLivePeer::TextPacket(3, "script text"),   TLivePeer::FramePacket(Frame(40, FT_MARKER)),
  };
  return script;
}

TEST_F(LiveSourceTest, PacketsReachTheirHooksInOrderHoweverTheyAreCut) {
  const struct {
    const char* Name;
    TLivePeer::TDelivery Delivery;
    unsigned PauseMs;
  } cases[] = {
      {"whole", TLivePeer::TDelivery::Whole, 0},
      {"one byte per send", TLivePeer::TDelivery::BytePerSend, 0},
      {"three pieces", TLivePeer::TDelivery::Pieces, 30},
      {"all in one send", TLivePeer::TDelivery::OneSend, 0},
  };
  const std::vector<std::string> expected = {"sample 10",          "sample 20", "index index text",
                                             "opened 32 x 16",     "sample 30", "string string text",
                                             "script script text", "sample 40"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TLivePeer peer;
    TLivePeer::TScript script = MixedScript();
    script.Delivery = c.Delivery;
    script.PauseMs = c.PauseMs;
    peer.SetScript(script);
    TRecordingClient client(&FContext);
    client.Open(peer.URL("ch"), "");
    ASSERT_TRUE(client.WaitForHook("sample", 4));
    const auto calls = client.Calls();
    EXPECT_EQ(expected, Hooks(calls));
    // Before the key frame the source is still opening; from it on, streaming.
    EXPECT_EQ(rsOpening, calls[0].State);
    EXPECT_EQ(rsOpening, calls[1].State);
    EXPECT_EQ(rsStreaming, calls[3].State);
    EXPECT_EQ(rsStreaming, calls[4].State);
    EXPECT_EQ(KeyFrame(30).Serialize(), calls[4].Record);
    EXPECT_EQ(Frame(10, FT_XOR).Serialize(), calls[0].Record);
    for (const TCall& call : calls) EXPECT_EQ(client.ThreadID(), call.Thread);
    client.Sync();
    EXPECT_EQ(0u, client.UsedSize());
  }
}

TEST_F(LiveSourceTest, APacketLargerThanTheBufferGrowsItToExactlyItsSize) {
  TLivePeer peer;
  TLivePeer::TScript script;
  script.Packets = {TLivePeer::FramePacket(Frame(5, FT_MARKER, 600000 - 28))};
  peer.SetScript(script);
  TRecordingClient client(&FContext);
  EXPECT_EQ(524288u, client.BufferSize());
  client.Open(peer.URL("ch"), "");
  ASSERT_TRUE(client.WaitForHook("sample"));
  EXPECT_EQ(600008u, client.BufferSize());
  EXPECT_EQ(600000u, client.Calls()[0].Record.size());
}

TEST_F(LiveSourceTest, ALongLoginReplyInSmallPiecesIsReadWholeAndGivesItsTexts) {
  std::string reply = "Permission=True\r\nAuthor=\r\nPadding=";
  const std::string title = "\r\nTitle=The end";
  reply += std::string(40000 - reply.size() - title.size(), 'p') + title;
  ASSERT_EQ(40000u, reply.size());
  TLivePeer peer;
  peer.SetLogin(TLivePeer::TLogin::Reply, reply, 1000, 2);
  TLivePeer::TScript script;
  script.Packets = {TLivePeer::FramePacket(KeyFrame(0))};
  peer.SetScript(script);
  TRecordingClient client(&FContext);
  client.Open(peer.URL("ch"), "");
  EXPECT_EQ("", client.Title());
  ASSERT_TRUE(client.WaitForHook("sample"));
  // An empty value keeps the field as it was.
  EXPECT_EQ("The end", client.Title());
  EXPECT_EQ("", client.Author());
}

TEST_F(LiveSourceTest, BitRateCountsWhatArrived) {
  std::atomic<uint32_t> now{100000};
  TLivePeer peer;
  TLivePeer::TScript script;
  script.Packets = {TLivePeer::FramePacket(Frame(1, FT_XOR, 4972)),
                    TLivePeer::FramePacket(Frame(2, FT_XOR, 4972))};
  peer.SetScript(script);
  TRecordingClient client(&FContext);
  client.SetClock([&] { return now.load(); });
  client.Open(peer.URL("ch"), "");
  ASSERT_TRUE(client.WaitForHook("sample", 2));
  now += 2000;
  // Two packets of 5,008 bytes in 2 s: 10,016 * 8 / 2000.
  EXPECT_EQ(40u, client.GetBitRate());
  EXPECT_EQ(0u, client.GetBitRate());
}

// ---- sends --------------------------------------------------------------------

class LiveSendTest : public LiveSourceTest {
 protected:
  void Connect(TRecordingClient& client) {
    TLivePeer::TScript script;
    script.Packets = {TLivePeer::FramePacket(KeyFrame(0))};
    FPeer.SetScript(script);
    client.Open(FPeer.URL("ch"), "");
    ASSERT_TRUE(client.WaitForHook("sample"));
    ASSERT_EQ(rsStreaming, client.State());
  }
  std::vector<TLivePeer::TPacket> Texts() {
    std::vector<TLivePeer::TPacket> texts;
    for (auto& p : FPeer.Received())
      if (p.Text != "NOOP" && p.Text != "Start") texts.push_back(p);
    return texts;
  }

  TLivePeer FPeer;
};

TEST_F(LiveSendTest, TextsUpTo32KGoAsOnePacketLongerOnesAreDropped) {
  TRecordingClient client(&FContext);
  Connect(client);
  EXPECT_FALSE(client.Send(""));
  ASSERT_TRUE(client.Send(std::string(32768, 'a')));
  ASSERT_TRUE(client.Send(std::string(32769, 'b')));
  ASSERT_TRUE(client.Send("next"));
  ASSERT_TRUE(FPeer.WaitForText("next", 1, kBound));
  const auto texts = Texts();
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(2, texts[0].Type);
  EXPECT_EQ(std::string(32768, 'a'), texts[0].Text);
  EXPECT_EQ("next", texts[1].Text);
  // The connection is still good after the refusal.
  EXPECT_EQ(rsStreaming, client.State());
}

TEST_F(LiveSendTest, KeepAlivesGoOutEvery200MsWhileIdle) {
  TRecordingClient client(&FContext);
  Connect(client);
  ASSERT_TRUE(FPeer.WaitForText("NOOP", 8, kBound));
  std::vector<double> times;
  for (auto& p : FPeer.Received())
    if (p.Text == "NOOP") times.push_back(p.ArrivalMs);
  ASSERT_GE(times.back() - times.front(), 1400.0);
  // Arrival times carry the delivery's jitter: one late packet shortens the
  // gap after it. Counted from the first, no keep-alive comes early beyond
  // that jitter, and none follows another at once.
  for (size_t i = 1; i < times.size(); ++i) {
    EXPECT_GE(times[i] - times[0], 200.0 * static_cast<double>(i) - 50.0) << i;
    EXPECT_GE(times[i] - times[i - 1], 100.0) << i;
    EXPECT_LE(times[i] - times[i - 1], 1000.0) << i;
  }
  EXPECT_EQ(0u, TRecordingClient::Count(client.Calls(), "error"));
}

TEST_F(LiveSendTest, StopWhileConnectedReturnsAtOnceAndClosesTheConnection) {
  TRecordingClient client(&FContext);
  Connect(client);
  const auto start = std::chrono::steady_clock::now();
  client.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(FPeer.WaitForClientCloses(1, kBound));
  EXPECT_EQ(rsIdle, client.State());
  EXPECT_EQ(1u, TRecordingClient::Count(client.Calls(), "sample"));
  EXPECT_EQ(0u, TRecordingClient::Count(client.Calls(), "error"));
}

// ---- damage -------------------------------------------------------------------

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST_F(LiveSourceTest, DamageEndsTheStreamWithCode7OnceAndNothingAfter) {
  KrmRecord shortRecord = Frame(2, FT_XOR, 100);
  shortRecord.Length = 500;
  KrmRecord undecodable = Frame(2, FT_KEY, 64);
  undecodable.CompressionType = CT_ZLIB;
  const struct {
    const char* Name;
    std::vector<Bytes> Tail;
    bool CloseAfter;
  } cases[] = {
      {"frame packet of 20 bytes", {TLivePeer::Packet(0, Bytes(20, 1))}, false},
      {"packet shorter than its record", {TLivePeer::FramePacket(shortRecord)}, false},
      {"length 0xFFFFFFF0", {ToBytes(RawHeader(0, 0xFFFFFFF0u)), Bytes(64, 0)}, false},
      {"key frame that does not decode", {TLivePeer::FramePacket(undecodable)}, false},
      {"server closes after the packets", {}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TLivePeer peer;
    TLivePeer::TScript script;
    script.Packets = {TLivePeer::FramePacket(Frame(1, FT_XOR))};
    for (const Bytes& b : c.Tail) script.Packets.push_back(b);
    // Never reached: the damage comes first.
    script.Packets.push_back(TLivePeer::TextPacket(2, "after"));
    if (c.CloseAfter) script.Packets.pop_back();
    script.CloseAfter = c.CloseAfter;
    peer.SetScript(script);
    TRecordingClient client(&FContext);
    client.Open(peer.URL("ch"), "");
    ASSERT_TRUE(client.WaitForHook("error"));
    for (int i = 0; i < 5; ++i) client.Read(-1);
    client.Sync();
    EXPECT_EQ((std::vector<std::string>{"sample 1", "error 7"}), Hooks(client.Calls()));
    EXPECT_EQ(rsIdle, client.State());
    EXPECT_TRUE(peer.WaitForClientCloses(1, kBound));
  }
}

TEST_F(LiveSourceTest, AfterAStopTheFirstReadReportsTheLostConnectionOnce) {
  TLivePeer peer;
  TRecordingClient client(&FContext);
  client.Open(peer.URL("ch"), "");
  ASSERT_TRUE(peer.WaitForText("Start", 1, kBound));
  client.Stop();
  for (int i = 0; i < 3; ++i) client.Read(-1);
  client.Sync();
  EXPECT_EQ((std::vector<std::string>{"error 7"}), Hooks(client.Calls()));
}

// ---- the login reply's lines ----------------------------------------------------

TEST(ReplyValueTest, FirstLineWithTheNameWinsWhateverEndsTheLines) {
  const struct {
    const char* Reply;
    const char* Key;
    bool Found;
    const char* Value;
  } cases[] = {
      {"Title=a=b\r\nTitle=c", "Title", true, "a=b"},
      {"x\r\n\r\nTITLE=\r\n", "title", true, ""},
      {"Titles=a\nTitle", "Title", false, ""},
      {"a=1\rb=2\nc=3\r\n", "c", true, "3"},
      {"", "Title", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Reply);
    std::string value;
    EXPECT_EQ(c.Found, FindReplyValue(c.Reply, c.Key, value));
    if (c.Found) {
      EXPECT_EQ(c.Value, value);
    }
  }
}

}  // namespace
