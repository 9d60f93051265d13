// The password of a module's debug data, asked from the module through its
// exports, and the names it makes readable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "ModuleCopy.h"
#include "moduleinfo/DataBlock.h"
#include "moduleinfo/DebugInfo.h"
#include "moduleinfo/LineTables.h"
#include "moduleinfo/ModulesList.h"
#include "moduleinfo/PasswordRequest.h"

using brx_test::Bytes;
using brx_test::TBlockForm;
using namespace RevavaRez;

namespace {

const char kPassword[] = "secret";

brx_test::Bytes CodedBlock() {
  brx_test::TDataBlock block;
  block.Options = brx_test::OptionsStream(brx_test::TOptionsImage{}, block.Version);
  block.Password = kPassword;
  brx_test::TDebugUnit unit;
  unit.Name = brx_test::NameRecord("Forms", block.Version, kPassword);
  unit.FirstLine = 20;
  unit.CodeStart = 0x10;
  unit.CodeSize = 0x20;
  unit.Table = brx_test::Cat({brx_test::ByteProcedureLine(1, 1),
                              brx_test::NameRecord("TMain.Create", block.Version, kPassword),
                              brx_test::ByteLine(3, 8)});
  block.DebugData = brx_test::DebugData({unit}, block.Version);
  return brx_test::ResourceBlock(block);
}

// This module's own handler, asked when the module's answer fails.
int LocalAsked = 0;
std::string LocalAnswer;
void __stdcall LocalHandler(TVezavuExceptionRecord*, unsigned char* password, int32_t maxLength) {
  ++LocalAsked;
  const size_t length = std::min(LocalAnswer.size(), static_cast<size_t>(maxLength));
  password[0] = static_cast<unsigned char>(length);
  std::memcpy(password + 1, LocalAnswer.data(), length);
}

struct TCase {
  const char* What;
  const wchar_t* Module;
  const char* Answer;
  const char* Local;  // null: no handler of this module
  bool Enumerating;
  int ExAsked, PlainAsked, LocalAsked;
  bool Readable;
};

}  // namespace

TEST(Password, AskedThroughTheModulesExports) {
  const TCase cases[] = {
      {"right password", L"brx_test_password_both.dll", kPassword, nullptr, false, 1, 0, 0, true},
      {"wrong password", L"brx_test_password_both.dll", "wrong", nullptr, false, 1, 0, 0, false},
      {"only the plain request", L"brx_test_password_plain.dll", kPassword, nullptr, false, 0, 1, 0, true},
      {"neither request", L"brx_test_password_none.dll", kPassword, nullptr, false, 0, 0, 0, false},
      {"this module answers after a wrong one", L"brx_test_password_both.dll", "wrong", kPassword, false, 1, 0, 1,
       true},
      {"this module is not asked after a right one", L"brx_test_password_both.dll", kPassword, "other", false, 1, 0,
       0, true},
      {"nothing asked while enumerating", L"brx_test_password_both.dll", kPassword, kPassword, true, 0, 0, 0, true},
  };
  brx_test::TTempFolder folder(L"password");
  int index = 0;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    brx_test::TModuleCopy copy(folder, c.Module, L"coded" + std::to_wstring(index++) + L".dll", TBlockForm::Resource,
                               CodedBlock());
    ASSERT_NE(copy.Handle(), nullptr);
    auto set = copy.Export<void(__stdcall*)(const char*)>("TestPasswordSet");
    auto asked = copy.Export<void(__stdcall*)(int32_t*, int32_t*, char*, int32_t)>("TestPasswordAsked");
    ASSERT_TRUE(set && asked);
    set(c.Answer);
    LocalAsked = 0;
    LocalAnswer = c.Local ? c.Local : "";
    const TPasswordRequestEventEx sinks = LocalPasswordRequest;
    LocalPasswordRequest = c.Local ? &LocalHandler : nullptr;
    auto record = copy.Record();
    record->Password = "current";
    LoadDataBlock(*record, c.Enumerating);
    LocalPasswordRequest = sinks;

    int32_t ex = 0, plain = 0;
    char seen[256] = "";
    asked(&ex, &plain, seen, sizeof seen);
    EXPECT_EQ(ex, c.ExAsked);
    EXPECT_EQ(plain, c.PlainAsked);
    EXPECT_EQ(LocalAsked, c.LocalAsked);
    if (ex + plain > 0) {
      EXPECT_STREQ(seen, "current") << "the request holds the current password";
    }
    EXPECT_EQ(record->NamesReadable, c.Readable);
    if (c.Enumerating) continue;

    // Lines and addresses resolve either way; names only with the password.
    const uintptr_t address = reinterpret_cast<uintptr_t>(copy.Handle()) + 4096 + 0x10 + 1 + 2;
    TVezavuDebugInfo info;
    ASSERT_TRUE(FindInLineTables(*record, address, info));
    EXPECT_EQ(info.Line, 21);
    if (c.Readable) {
      EXPECT_EQ(info.UnitName, "Forms.pas");
      EXPECT_EQ(info.ClassName, "TMain");
      EXPECT_EQ(info.ProcedureName, "Create");
    } else {
      EXPECT_EQ(info.UnitName.substr(0, 2), "?p");
      EXPECT_EQ(info.ProcedureName.substr(0, 1), "?");
      EXPECT_EQ(info.ClassName, "");
    }
  }
}

TEST(Password, ALongAnswerIsCutAtTheShortStringsLength) {
  brx_test::TTempFolder folder(L"long password");
  brx_test::TModuleCopy copy(folder, L"brx_test_password_both.dll", L"long.dll", TBlockForm::None, {});
  ASSERT_NE(copy.Handle(), nullptr);
  auto set = copy.Export<void(__stdcall*)(const char*)>("TestPasswordSet");
  ASSERT_NE(set, nullptr);
  const std::string answer(255, 'k');
  set(answer.c_str());
  EXPECT_EQ(RequestModulePassword(copy.Handle(), std::string(300, 'c')), answer);
}

TEST(Password, TheAddressLookupAsksOncePerModule) {
  brx_test::TTempFolder folder(L"lookup");
  brx_test::TModuleCopy copy(folder, L"brx_test_password_both.dll", L"lookup.dll", TBlockForm::Resource,
                             CodedBlock());
  ASSERT_NE(copy.Handle(), nullptr);
  auto set = copy.Export<void(__stdcall*)(const char*)>("TestPasswordSet");
  auto asked = copy.Export<void(__stdcall*)(int32_t*, int32_t*, char*, int32_t)>("TestPasswordAsked");
  ASSERT_TRUE(set && asked);
  set(kPassword);
  const uintptr_t inUnit = reinterpret_cast<uintptr_t>(copy.Handle()) + 4096 + 0x10 + 1 + 2;
  for (int lookup = 0; lookup < 2; ++lookup) {
    SCOPED_TRACE(lookup);
    TVezavuDebugInfo info;
    GetDebugInfo(inUnit, 7, info, true);
    EXPECT_EQ(info.Kind, dkLineTables);
    ASSERT_NE(info.Module, nullptr);
    EXPECT_EQ(info.Module->Handle, copy.Handle());
    EXPECT_EQ(info.ThreadID, 7u);
    EXPECT_EQ(info.ProcedureName, "Create");
    EXPECT_EQ(info.Line, 21);
  }
  // Outside every unit the module is still known.
  TVezavuDebugInfo outside;
  GetDebugInfo(reinterpret_cast<uintptr_t>(copy.Handle()) + 4096 + 0x40, 0, outside, false);
  EXPECT_EQ(outside.Module, Modules().FindByHandle(copy.Handle()));
  EXPECT_NE(outside.Kind, dkLineTables);
  int32_t ex = 0, plain = 0;
  char seen[256] = "";
  asked(&ex, &plain, seen, sizeof seen);
  EXPECT_EQ(ex, 1);
  // No later lookup may find the record once the module is gone.
  Modules().Drop(Modules().IndexOfHandle(copy.Handle()));
}
