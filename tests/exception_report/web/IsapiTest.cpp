// An ISAPI extension: an active copy of the test library that exports the
// extension's entry, called with a control block whose server side records.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <httpext.h>

#include <string>
#include <vector>

#include "WebModules.h"

namespace {

using brx_web_test::Headers;

using TTextExport = void(__stdcall*)(char*, int);
using TFlagExport = BOOL(__stdcall*)();
using TEntry = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);

std::string TextFrom(HMODULE module, const char* name) {
  auto read = reinterpret_cast<TTextExport>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  char text[512] = "no export";
  if (read) read(text, sizeof text);
  return text;
}

// The server's side of one request.
struct TFakeServer {
  EXTENSION_CONTROL_BLOCK Block{};
  BOOL WriteAnswer = TRUE;
  TFlagExport ClientWriting = nullptr;
  std::vector<DWORD> Requests;
  std::string Status, ExtraHeaders, Written;
  std::vector<bool> WritingSeen;
};

TFakeServer* ServerOf(HCONN connection) { return static_cast<TFakeServer*>(connection); }

BOOL WINAPI FakeSupport(HCONN connection, DWORD request, LPVOID buffer, LPDWORD, LPDWORD dataType) {
  TFakeServer* server = ServerOf(connection);
  server->Requests.push_back(request);
  if (request == HSE_REQ_SEND_RESPONSE_HEADER) {
    server->Status = buffer ? static_cast<const char*>(buffer) : "(null)";
    server->ExtraHeaders = dataType ? reinterpret_cast<const char*>(dataType) : "(null)";
  }
  server->WritingSeen.push_back(server->ClientWriting && server->ClientWriting());
  return TRUE;
}

BOOL WINAPI FakeWrite(HCONN connection, LPVOID buffer, LPDWORD bytes, DWORD) {
  TFakeServer* server = ServerOf(connection);
  server->Written.assign(static_cast<const char*>(buffer), *bytes);
  server->WritingSeen.push_back(server->ClientWriting && server->ClientWriting());
  return server->WriteAnswer;
}

class Isapi : public testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"brx_test_module_isapi.dll", L"brx_test_module_dll.dll"}) {
      const std::wstring copy = FFolder.Path() + L"\\" + name;
      ASSERT_TRUE(brx_web_test::ActiveCopy(name, copy));
      HMODULE module = LoadLibraryW(copy.c_str());
      ASSERT_NE(module, nullptr) << GetLastError();
      FModules.push_back(module);
    }
  }
  void TearDown() override {
    for (HMODULE module : FModules) FreeLibrary(module);
  }
  HMODULE Extension() const { return FModules[0]; }
  HMODULE Plain() const { return FModules[1]; }

  brx_test::TTempFolder FFolder{L"web isapi"};
  std::vector<HMODULE> FModules;
};

TEST_F(Isapi, OnlyTheLibraryWithTheEntryIsAHost) {
  EXPECT_EQ(TextFrom(Extension(), "TestModuleWebHosts"),
            "console=1 cgi=0 wincgi=0 isapi=1 intraweb=0 web=1 gui=0");
  EXPECT_EQ(TextFrom(Plain(), "TestModuleWebHosts"), "console=1 cgi=0 wincgi=0 isapi=0 intraweb=0 web=0 gui=0");
  EXPECT_EQ(GetProcAddress(Plain(), "HttpExtensionProc"), nullptr);
}

TEST_F(Isapi, ThePageGoesThroughTheControlBlock) {
  auto entry = reinterpret_cast<TEntry>(reinterpret_cast<void*>(GetProcAddress(Extension(), "HttpExtensionProc")));
  ASSERT_NE(entry, nullptr);
  for (BOOL writeAnswer : {TRUE, FALSE}) {
    SCOPED_TRACE(writeAnswer ? "the client takes the page" : "the client write fails");
    TFakeServer server;
    server.WriteAnswer = writeAnswer;
    server.ClientWriting =
        reinterpret_cast<TFlagExport>(reinterpret_cast<void*>(GetProcAddress(Extension(), "TestModuleClientWriting")));
    ASSERT_NE(server.ClientWriting, nullptr);
    server.Block.cbSize = sizeof server.Block;
    server.Block.ConnID = &server;
    server.Block.dwHttpStatusCode = 500;
    char query[] = "first  line <b>\r\nsecond";
    server.Block.lpszQueryString = query;
    server.Block.ServerSupportFunction = FakeSupport;
    server.Block.WriteClient = FakeWrite;

    const DWORD status = entry(&server.Block);
    EXPECT_EQ(status, writeAnswer ? DWORD(HSE_STATUS_SUCCESS) : DWORD(HSE_STATUS_ERROR));
    EXPECT_EQ(server.Block.dwHttpStatusCode, 200u);
    EXPECT_EQ(server.Requests, std::vector<DWORD>{HSE_REQ_SEND_RESPONSE_HEADER});
    EXPECT_EQ(server.Status, "200 Error");
    EXPECT_NE(server.Written.find("first&nbsp;&nbsp;line &lt;b&gt;<br>\r\nsecond"), std::string::npos)
        << server.Written;
    EXPECT_NE(server.Written.find("<!-- RevavaRez ID: "), std::string::npos);
    EXPECT_EQ(server.ExtraHeaders, Headers(server.Written.size(), false));
    // The library's own client-write hook must let both calls through, and
    // only them.
    EXPECT_EQ(server.WritingSeen, (std::vector<bool>{true, true}));
    EXPECT_FALSE(server.ClientWriting());
  }
}

TEST_F(Isapi, NoControlBlockIsAWarning) {
  auto entry = reinterpret_cast<TEntry>(reinterpret_cast<void*>(GetProcAddress(Extension(), "HttpExtensionProc")));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry(nullptr), DWORD(HSE_STATUS_ERROR));
  EXPECT_EQ(TextFrom(Extension(), "TestModuleLastWarning"), "ISAPI: ServerECB = nil");
}

}  // namespace
