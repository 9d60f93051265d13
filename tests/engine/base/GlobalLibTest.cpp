#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "base/GlobalLib.h"

namespace {

TEST(GlobalLib, SecondsToTimeStr) {
  struct Case {
    int seconds;
    const char* text;
  } cases[] = {{0, "00:00:00"},    {59, "00:00:59"},    {60, "00:01:00"},      {3599, "00:59:59"},
               {3661, "01:01:01"}, {36000, "10:00:00"}, {360000, "100:00:00"}, {-5, "00:00:00"}};
  for (const Case& c : cases) EXPECT_EQ(SecondsToTimeStr(c.seconds), c.text) << c.seconds;
}

TEST(GlobalLib, IsRemoteURL) {
  struct Case {
    const char* url;
    bool remote;
  } cases[] = {{"htt", false},          {"Http://h/a.krm", true}, {"https://h/a", true},
               {"krms://h:1804", true}, {"ftp://h/a.krm", true},  {"FTP", false},
               {"C:\\a.krm", false},    {"file:///C:/a", false}};
  for (const Case& c : cases) EXPECT_EQ(IsRemoteURL(c.url), c.remote) << c.url;
}

TEST(GlobalLib, FileURLToPath) {
  struct Case {
    const wchar_t* url;
    const wchar_t* path;
  } cases[] = {
      {L"file:///C:/My%20Talks/a.krm", L"C:\\My Talks\\a.krm"},
      {L"file://server/share/a.krm", L"\\\\server\\share\\a.krm"},
      {L"FILE:///d:/x%7b1%7D.krm", L"d:\\x%7b1}.krm"},
      {L"http://h/a.krm?t=1", L"http://h/a.krm"},
      {L"C:\\a.krm", L"C:\\a.krm"},
  };
  for (const Case& c : cases) EXPECT_EQ(FileURLToPath(c.url), c.path) << c.url;
}

constexpr UINT kTestMessage = WM_APP + 7;

// A thread that takes one message and hands it back through its fields.
struct TReceiver {
  static DWORD WINAPI Run(void* p) {
    auto* self = static_cast<TReceiver*>(p);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // makes the queue
    SetEvent(self->QueueReady);
    if (GetMessageW(&msg, nullptr, 0, 0) > 0) self->Received = msg;
    return 0;
  }
  HANDLE QueueReady = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  MSG Received{};
  ~TReceiver() { CloseHandle(QueueReady); }
};

void ExpectDelivered(HANDLE thread, const TReceiver& receiver) {
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(receiver.Received.message, kTestMessage);
  EXPECT_EQ(receiver.Received.wParam, static_cast<WPARAM>(0x1234));
  EXPECT_EQ(receiver.Received.lParam, static_cast<LPARAM>(-9));
}

TEST(GlobalLib, PostThreadMessageWaitReachesALiveThread) {
  TReceiver receiver;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &TReceiver::Run, &receiver, 0, &id);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(receiver.QueueReady, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(PostThreadMessageWait(id, thread, kTestMessage, 0x1234, -9));
  ExpectDelivered(thread, receiver);
  CloseHandle(thread);
}

TEST(GlobalLib, PostThreadMessageWaitRetriesUntilTheQueueExists) {
  TReceiver receiver;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, &TReceiver::Run, &receiver, CREATE_SUSPENDED, &id);
  ASSERT_NE(thread, nullptr);
  // A thread that has not run has no queue yet, so posts are refused.
  ASSERT_FALSE(PostThreadMessageW(id, kTestMessage, 0, 0));
  std::thread resumer([thread] { ResumeThread(thread); });
  EXPECT_TRUE(PostThreadMessageWait(id, thread, kTestMessage, 0x1234, -9));
  resumer.join();
  ExpectDelivered(thread, receiver);
  CloseHandle(thread);
}

TEST(GlobalLib, PostThreadMessageWaitToAnEndedThreadAnswersAtOnce) {
  DWORD id = 0;
  HANDLE thread = CreateThread(
      nullptr, 0, [](void*) WINAPI -> DWORD { return 0; }, nullptr, 0, &id);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  // A 10 ms wait before looking at the handle would make twenty calls take
  // at least 200 ms; answering at the first refused post takes next to none.
  const ULONGLONG start = GetTickCount64();
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(PostThreadMessageWait(id, thread, kTestMessage, 0, 0));
  EXPECT_LT(GetTickCount64() - start, 200u);
  CloseHandle(thread);
}

}  // namespace
