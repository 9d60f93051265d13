#pragma once
// A live broadcast server on 127.0.0.1 (an ephemeral port, or a given one)
// for the tests of the live TCP source: it logs each connection's login
// packet and answers it with a configured reply (whole, in pieces with
// pauses, not at all, or by closing), waits for "Start", sends its script
// (frame records, texts, unknown types, raw bytes; whole, one byte per
// send, in pieces or all in one send), then whatever the test pushes. It
// logs every packet it receives with its arrival time and counts
// connections. It runs on threads of its own and ends by itself after its
// lifetime even when a test forgets it.
#include <winsock2.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "KrmWriter.h"

class TLivePeer {
 public:
  struct TPacket {
    uint8_t Type = 0;
    uint8_t Header[3] = {0, 0, 0};  // bytes 1 to 3 as they came
    std::string Text;
    double ArrivalMs = 0;   // since the peer started
    size_t Connection = 0;  // 1 for the first connection
  };
  enum class TLogin {
    Reply,  // answers with the reply
    Stall,  // reads on, answers nothing
    Close,  // closes the connection instead of answering
    Raw,    // sends the reply's bytes as they are, as if they were a packet
  };
  enum class TDelivery {
    Whole,        // one send per packet
    BytePerSend,  // one send per byte
    Pieces,       // PieceSize bytes per send (0: three pieces per packet), PauseMs between
    OneSend,      // every packet of the script in one send
  };
  struct TScript {
    std::vector<Bytes> Packets;
    TDelivery Delivery = TDelivery::Whole;
    size_t PieceSize = 0;
    unsigned PauseMs = 0;
    bool CloseAfter = false;  // ends the connection (FIN) after the script
    size_t Repeat = 1;        // the packets go out this many times over
  };

  // Port 0 takes an ephemeral one. Throws std::runtime_error, naming the
  // port, when it cannot be bound.
  explicit TLivePeer(unsigned lifetimeMs = 60000, uint16_t port = 0);
  ~TLivePeer();
  TLivePeer(const TLivePeer&) = delete;
  TLivePeer& operator=(const TLivePeer&) = delete;

  // A packet: type, header bytes 1 to 3 (junk unless told), payload.
  static Bytes Packet(uint8_t type, const Bytes& payload, bool junkHeader = true);
  static Bytes TextPacket(uint8_t type, const std::string& text);
  static Bytes FramePacket(const KrmRecord& record);

  void SetLogin(TLogin mode, std::string reply = "Permission=True", size_t pieceSize = 0,
                unsigned pauseMs = 0);
  // For connections that send "Start" from now on.
  void SetScript(TScript script);
  // Sends bytes, whole, to every connection that has had its script.
  void Push(const Bytes& bytes);
  // Ends every connection from the peer's side (FIN).
  void DropConnections();

  uint16_t Port() const { return FPort; }
  // "krms://127.0.0.1:port/" followed by the path.
  std::wstring URL(const std::string& path) const;

  std::vector<TPacket> Logins();
  // Every packet after the login, of every connection.
  std::vector<TPacket> Received();
  size_t Connections();
  // Connections that the client ended.
  size_t ClientCloses();
  // Connections that have had their script.
  size_t Started();

  // Bounded waits; false when the bound passed first.
  bool WaitForLogins(size_t count, unsigned timeoutMs);
  bool WaitForReceived(size_t count, unsigned timeoutMs);
  // Waits until count received packets carry exactly text.
  bool WaitForText(const std::string& text, size_t count, unsigned timeoutMs);
  bool WaitForConnections(size_t count, unsigned timeoutMs);
  bool WaitForClientCloses(size_t count, unsigned timeoutMs);
  bool WaitForStarted(size_t count, unsigned timeoutMs);

  void Shutdown();

 private:
  struct TConnection {
    SOCKET Socket = INVALID_SOCKET;
    size_t Number = 0;
    bool Started = false;     // "Start" came: the writer may send
    bool ScriptDone = false;  // pushes go out from now on
    bool Ended = false;       // the reader has finished
    bool PeerClosed = false;  // the peer itself sent its FIN
    std::deque<Bytes> Pushes;
    std::thread Writer;
  };

  void AcceptLoop();
  void Reader(std::shared_ptr<TConnection> connection);
  void Writer(std::shared_ptr<TConnection> connection);
  bool SendPieces(SOCKET s, const Bytes& bytes, size_t pieceSize, unsigned pauseMs);
  bool Pause(unsigned ms);  // false once the peer stops
  double Now() const;
  template <class Pred>
  bool WaitUntil(unsigned timeoutMs, Pred pred) {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
  }

  SOCKET FListener = INVALID_SOCKET;
  uint16_t FPort = 0;
  unsigned FLifetimeMs;
  std::chrono::steady_clock::time_point FStart;
  std::mutex FLock;
  std::condition_variable FChanged;
  bool FStopping = false;
  TLogin FLoginMode = TLogin::Reply;
  std::string FReply = "Permission=True";
  size_t FReplyPiece = 0;
  unsigned FReplyPause = 0;
  std::shared_ptr<const TScript> FScript = std::make_shared<const TScript>();
  std::vector<TPacket> FLogins;
  std::vector<TPacket> FReceived;
  size_t FClientCloses = 0;
  size_t FStarted = 0;
  std::vector<std::shared_ptr<TConnection>> FConnections;
  std::vector<std::thread> FReaders;
  std::thread FAcceptThread;
};
