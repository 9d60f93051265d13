// The process-wide module list in the test program (where the library is
// inactive): records, their version and export data, refresh on both
// enumeration paths, and the export fallback of the address lookup.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "TestModules.h"
#include "core/ExceptionLog.h"
#include "core/VArev.h"
#include "moduleinfo/DebugInfo.h"
#include "moduleinfo/ModuleExports.h"
#include "moduleinfo/ModulesList.h"
#include "options/CurrentRevavaRezOptions.h"

using namespace RevavaRez;

namespace {

// A fresh list for each test, freed again after it.
class ModulesListTest : public ::testing::Test {
 protected:
  void SetUp() override { FreeModules(); }
  void TearDown() override { FreeModules(); }
};

// A test module loaded for the time of one test.
class TLoaded {
 public:
  explicit TLoaded(const std::wstring& path) : FModule(LoadLibraryW(path.c_str())) {}
  ~TLoaded() { Unload(); }
  TLoaded(const TLoaded&) = delete;
  TLoaded& operator=(const TLoaded&) = delete;
  HMODULE Module() const { return FModule; }
  uintptr_t Export(const char* name) const {
    return reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(GetProcAddress(FModule, name)));
  }
  void Unload() {
    if (FModule != nullptr) FreeLibrary(FModule);
    FModule = nullptr;
  }

 private:
  HMODULE FModule;
};

bool SortedByHandle(const TVezavuModulesList& list) {
  return std::is_sorted(
      list.List().begin(), list.List().end(), [](const TVezavuModuleInfo* a, const TVezavuModuleInfo* b) {
        return reinterpret_cast<uintptr_t>(a->Handle) < reinterpret_cast<uintptr_t>(b->Handle);
      });
}

TEST_F(ModulesListTest, RecordsHoldFileVersionKindAndExports) {
  TLoaded exports(brx_test::TestModulePath(L"ExportSizes.dll"));
  TLoaded package(brx_test::TestModulePath(L"PackageDll.dll"));
  ASSERT_NE(exports.Module(), nullptr);
  ASSERT_NE(package.Module(), nullptr);

  TVezavuModuleInfo* record = Modules().FindByHandle(exports.Module());
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->Handle, exports.Module());
  EXPECT_EQ(record->Kind, mkLibrary);
  EXPECT_EQ(record->Version, "1.2.3.4");
  EXPECT_EQ(record->Description, "Brindolux export sizes");
  EXPECT_EQ(record->FileName, ModuleFileNameOf(exports.Module()));
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  ASSERT_TRUE(GetFileAttributesExA(record->FileName.c_str(), GetFileExInfoStandard, &attributes));
  EXPECT_EQ(record->Size, attributes.nFileSizeLow);
  EXPECT_DOUBLE_EQ(record->Modified, FileDateOf(record->FileName));
  EXPECT_NE(record->Modified, 0);
  EXPECT_EQ(record->BlockVersion, kDataBlockVersion);
  ASSERT_NE(record->Options, nullptr);
  EXPECT_TRUE(record->NamesReadable);
  EXPECT_FALSE(record->MadeDuringEnumeration);

  // Every named export, sorted by address, each sized up to its return.
  struct TSized {
    const char* Name;
    uint32_t Size;
  };
  const TSized sized[] = {{"PlainName", 3},       {"@Unit@Class@Proc$qqrv", 6}, {"Unit.Proc", 5},
                          {"Unit.Class.Proc", 2}, {"?Cpp@@YAXXZ", 1},           {"StubName", 11}};
  ASSERT_EQ(record->Functions->Count(), 6);
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(sized[i].Name);
    const TVezavuFunctionInfo* function = record->Functions->Items(i);
    EXPECT_EQ(function->Name, sized[i].Name);
    EXPECT_EQ(function->Size, sized[i].Size);
    EXPECT_EQ(function->Address, exports.Export(sized[i].Name));
  }

  TVezavuModuleInfo* packageRecord =
      Modules().FindByAddress(reinterpret_cast<uintptr_t>(package.Module()) + 0x1000);
  ASSERT_NE(packageRecord, nullptr);
  EXPECT_EQ(packageRecord->Handle, package.Module());
  EXPECT_EQ(packageRecord->Kind, mkPackage);
  EXPECT_EQ(packageRecord->Version, "");      // 0.0.0.0
  EXPECT_EQ(packageRecord->Description, "");  // one character
  EXPECT_EQ(packageRecord->Functions->Count(), 0);

  // The main program keeps kind 0 and reads no exports.
  TVezavuModuleInfo* program = Modules().FindByHandle(GetModuleHandleW(nullptr));
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(program->Kind, mkUnknown);
  EXPECT_EQ(Modules().Count(), 3);

  // Neither a null handle nor one of no module makes a record.
  EXPECT_EQ(Modules().FindByHandle(nullptr), nullptr);
  void* loose = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(loose, nullptr);
  EXPECT_EQ(Modules().FindByHandle(static_cast<HMODULE>(loose)), nullptr);
  EXPECT_EQ(Modules().FindByAddress(reinterpret_cast<uintptr_t>(loose)), nullptr);
  VirtualFree(loose, 0, MEM_RELEASE);
  EXPECT_EQ(Modules().Count(), 3);
}

// Outside the NT family a "push target; jmp" stub stands for its target,
// and an address before the code range is sized 1.
TEST(ModuleExports, PushStubsOutsideNT) {
  TLoaded exports(brx_test::TestModulePath(L"ExportSizes.dll"));
  ASSERT_NE(exports.Module(), nullptr);
  TVezavuFunctionsList functions;
  ReadExportedFunctions(exports.Module(), functions, VER_PLATFORM_WIN32_WINDOWS);
  ASSERT_EQ(functions.Count(), 6);
  const TVezavuFunctionInfo* stub = nullptr;
  for (const TVezavuFunctionInfo* function : functions.List()) {
    if (function->Name == "StubName") stub = function;
  }
  ASSERT_NE(stub, nullptr);
#ifdef _WIN64
  EXPECT_EQ(stub->Address, 0u);
  EXPECT_EQ(stub->Size, 1u);
  EXPECT_EQ(functions.Items(0), stub);
#else
  EXPECT_EQ(stub->Address, exports.Export("PlainName"));
  EXPECT_EQ(stub->Size, 3u);
#endif
  EXPECT_TRUE(std::is_sorted(
      functions.List().begin(), functions.List().end(),
      [](const TVezavuFunctionInfo* a, const TVezavuFunctionInfo* b) { return a->Address < b->Address; }));
}

TEST_F(ModulesListTest, RecordsAreMadeOnce) {
  HMODULE main = GetModuleHandleW(nullptr);
  TVezavuModuleInfo* first = Modules().FindByHandle(main);
  ASSERT_NE(first, nullptr);
  // A change to the record survives only when the record is not made again.
  first->Password = "kept";
  EXPECT_EQ(Modules().FindByHandle(main), first);
  EXPECT_EQ(Modules().FindByAddress(reinterpret_cast<uintptr_t>(main) + 0x1000), first);
  Modules().Refresh();
  EXPECT_EQ(Modules().FindByHandle(main), first);
  EXPECT_EQ(first->Password, "kept");

  // Made during an enumeration, a record is made again once by the first
  // lookup after it, in its place.
  FreeModules();
  TLoaded package(brx_test::TestModulePath(L"PackageDll.dll"));
  Modules().Refresh();
  const int index = Modules().IndexOfHandle(package.Module());
  ASSERT_GE(index, 0);
  TVezavuModuleInfo* enumerated = Modules().Items(index);
  EXPECT_TRUE(enumerated->MadeDuringEnumeration);
  EXPECT_EQ(enumerated->Kind, mkUnknown);
  enumerated->Password = "dropped";
  const TVezavuModuleOptionsEx* options = enumerated->Options.get();
  EXPECT_EQ(Modules().FindByHandle(package.Module()), enumerated);
  EXPECT_EQ(enumerated->Options.get(), options);
  EXPECT_FALSE(enumerated->MadeDuringEnumeration);
  EXPECT_EQ(enumerated->Kind, mkPackage);
  EXPECT_EQ(enumerated->Password, "");
  enumerated->Password = "kept";
  EXPECT_EQ(Modules().FindByHandle(package.Module()), enumerated);
  EXPECT_EQ(enumerated->Password, "kept");

  TVezavuModuleInfo* program = Modules().FindByHandle(main);
  ASSERT_NE(program, nullptr);
  EXPECT_FALSE(program->MadeDuringEnumeration);
  program->Password = "kept";
  EXPECT_EQ(Modules().FindByHandle(main), program);
  EXPECT_EQ(program->Password, "kept");
}

TEST_F(ModulesListTest, RefreshFindsLaterModulesOnBothPaths) {
  const DWORD platforms[] = {VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS};
  for (DWORD platform : platforms) {
    SCOPED_TRACE(platform);
    FreeModules();
    // A copy under a name of its own, so that no other test has it loaded.
    brx_test::TTempFolder folder(L"ModulesRefresh");
    const std::wstring copy = folder.Path() + L"\\Later" + std::to_wstring(platform) + L".dll";
    ASSERT_TRUE(CopyFileW(brx_test::TestModulePath(L"PackageDll.dll").c_str(), copy.c_str(), FALSE));

    Modules().Refresh(platform);
    const int before = Modules().Count();
    EXPECT_GE(Modules().IndexOfHandle(GetModuleHandleW(nullptr)), 0);
    EXPECT_GE(Modules().IndexOfHandle(GetModuleHandleW(L"kernel32.dll")), 0);
    EXPECT_TRUE(SortedByHandle(Modules()));

    TLoaded later(copy);
    ASSERT_NE(later.Module(), nullptr);
    EXPECT_LT(Modules().IndexOfHandle(later.Module()), 0);
    Modules().Refresh(platform);
    EXPECT_EQ(Modules().Count(), before + 1);
    const int index = Modules().IndexOfHandle(later.Module());
    ASSERT_GE(index, 0);
    EXPECT_TRUE(Modules().Items(index)->MadeDuringEnumeration);
    EXPECT_TRUE(Modules().Items(index)->Functions->Count() == 0);
    EXPECT_TRUE(SortedByHandle(Modules()));
    EXPECT_FALSE(ModulesEnumerating);

    // Gone from the process, gone from the list.
    later.Unload();
    Modules().Refresh(platform);
    EXPECT_EQ(Modules().Count(), before);
    EXPECT_TRUE(SortedByHandle(Modules()));
  }
}

TEST_F(ModulesListTest, DropsRecordsWhoseFileChanged) {
  TLoaded exports(brx_test::TestModulePath(L"ExportSizes.dll"));
  TVezavuModuleInfo* changed = Modules().FindByHandle(exports.Module());
  TVezavuModuleInfo* program = Modules().FindByHandle(GetModuleHandleW(nullptr));
  ASSERT_NE(changed, nullptr);
  ASSERT_NE(program, nullptr);
  Modules().DropChangedFiles();
  EXPECT_EQ(Modules().Count(), 2);
  changed->Modified -= 1.0;
  Modules().DropChangedFiles();
  ASSERT_EQ(Modules().Count(), 1);
  EXPECT_EQ(Modules().Items(0), program);
  // What was handed out lives on, marked; a lookup makes a new record.
  EXPECT_TRUE(changed->Stale);
  EXPECT_FALSE(program->Stale);
  EXPECT_EQ(changed->FileName, ModuleFileNameOf(exports.Module()));
  TVezavuModuleInfo* again = Modules().FindByHandle(exports.Module());
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, changed);
  EXPECT_FALSE(again->Stale);
}

// The options handed out for this module are those of its record for as
// long as the list lives: a lookup that completes the record after a
// refresh keeps them, and what was set through them.
TEST_F(ModulesListTest, TheCurrentOptionsOutliveCompletingTheRecord) {
  Modules().Refresh();
  const int index = Modules().IndexOfHandle(ThisModule());
  ASSERT_GE(index, 0);
  TVezavuModuleInfo* own = Modules().Items(index);
  ASSERT_TRUE(own->MadeDuringEnumeration);
  TVezavuModuleOptionsEx* options = CurrentRevavaRezOptions();
  options->SetMailServer("mail.example.test");
  TVezavuDebugInfo info;
  GetDebugInfo(reinterpret_cast<uintptr_t>(ThisModule()) + 0x1000, 0, info, false);
  EXPECT_EQ(info.Module, own);
  EXPECT_FALSE(own->MadeDuringEnumeration);
  ASSERT_EQ(CurrentRevavaRezOptions(), options);
  EXPECT_EQ(options->MailServer(), "mail.example.test");
  EXPECT_TRUE(IsCurrentRevavaRezOptions(options));
}

// Two libraries linked for one base, loaded in turn: the second is not
// served the first one's record, whether a refresh came between or not.
TEST_F(ModulesListTest, AnotherModuleAtTheSameBaseGetsARecordOfItsOwn) {
  for (bool refresh : {false, true}) {
    SCOPED_TRACE(refresh ? "refreshed" : "looked up");
    FreeModules();
    TLoaded first(brx_test::TestModulePath(L"FixedBaseA.dll"));
    ASSERT_NE(first.Module(), nullptr);
    const HMODULE base = first.Module();
    TVezavuModuleInfo* old = Modules().FindByAddress(first.Export("FixedBaseA"));
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->Functions->Count(), 1);
    first.Unload();
    TLoaded second(brx_test::TestModulePath(L"FixedBaseB.dll"));
    ASSERT_EQ(second.Module(), base) << "the second library was not loaded at the first one's base";
    if (refresh) Modules().Refresh();

    TVezavuDebugInfo info;
    GetDebugInfo(second.Export("FixedBaseB"), 0, info, false);
    ASSERT_NE(info.Module, nullptr);
    EXPECT_NE(info.Module, old);
    EXPECT_EQ(info.Module->FileName, ModuleFileNameOf(base));
    EXPECT_EQ(info.Kind, dkExportName);
    EXPECT_EQ(info.ProcedureName, "FixedBaseB");
    EXPECT_TRUE(old->Stale);
    EXPECT_EQ(Modules().FindByHandle(base), info.Module);
  }
}

TEST_F(ModulesListTest, OwnRecordAnswersTheCurrentOptions) {
  Modules();
  EXPECT_EQ(ModuleRecordOptions(), nullptr);
  TVezavuModuleInfo* own = Modules().FindByHandle(ThisModule());
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(ModuleRecordOptions(), own->Options.get());
  FreeModules();
  EXPECT_EQ(ModuleRecordOptions(), nullptr);
}

// One thread refreshes while a library comes and goes and looks it up;
// another asks for the current options and looks up addresses in the
// program and in that library all the while, as a program's threads may
// while a report is made.
TEST_F(ModulesListTest, RefreshesAndLookupsOnTwoThreads) {
  brx_test::TTempFolder folder(L"ModulesThreads");
  const std::wstring copy = folder.Path() + L"\\Coming.dll";
  ASSERT_TRUE(CopyFileW(brx_test::TestModulePath(L"ExportSizes.dll").c_str(), copy.c_str(), FALSE));
  ASSERT_NE(Modules().FindByHandle(ThisModule()), nullptr);
  TVezavuModuleOptionsEx* const options = CurrentRevavaRezOptions();
  const uintptr_t inProgram = reinterpret_cast<uintptr_t>(ThisModule()) + 0x1000;

  std::atomic<bool> done{false};
  std::atomic<uintptr_t> inComing{0};
  std::atomic<int> wrong{0};
  HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(started, nullptr);
  std::thread asker([&] {
    try {
      do {
        if (CurrentRevavaRezOptions() != options || !IsCurrentRevavaRezOptions(options)) ++wrong;
        TVezavuDebugInfo info;
        GetDebugInfo(inProgram, 0, info, false);
        if (info.Module == nullptr || info.Module->Stale || info.Module->Handle != ThisModule()) ++wrong;
        // Held loaded for the lookup, which reads its image.
        const uintptr_t address = inComing.load();
        HMODULE held = nullptr;
        if (address != 0 && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                               reinterpret_cast<LPCWSTR>(address), &held)) {
          GetDebugInfo(address, 0, info, false);
          if (info.ProcedureName != "PlainName") ++wrong;
          FreeLibrary(held);
        }
        SetEvent(started);
      } while (!done.load());
    } catch (...) {
      ++wrong;
      SetEvent(started);
    }
  });
  {
    // However the rounds end.
    struct TJoin {
      std::atomic<bool>& Done;
      std::thread& Thread;
      HANDLE Started;
      ~TJoin() {
        Done = true;
        Thread.join();
        CloseHandle(Started);
      }
    } join{done, asker, started};

    EXPECT_EQ(WaitForSingleObject(started, 30000), WAIT_OBJECT_0);
    for (int round = 0; round < 200 && wrong.load() == 0; ++round) {
      TLoaded coming(copy);
      ASSERT_NE(coming.Module(), nullptr);
      inComing = coming.Export("PlainName");
      Modules().Refresh();
      TVezavuDebugInfo info;
      GetDebugInfo(inComing.load(), 0, info, false);
      EXPECT_EQ(info.ProcedureName, "PlainName");
      inComing = 0;
      coming.Unload();
      Modules().Refresh();
    }
  }
  EXPECT_EQ(wrong.load(), 0);
}

TEST(ModuleDirectory, KeepsTheRootBackslash) {
  const struct {
    const char* FileName;
    const char* Directory;
  } cases[] = {
      {"C:\\Program Files\\App\\App.exe", "C:\\Program Files\\App"},
      {"C:\\App.exe", "C:\\"},
      {"\\\\server\\share\\App.exe", "\\\\server\\share"},
      {"App.exe", ""},
  };
  for (const auto& c : cases) {
    TVezavuModuleInfo record;
    record.FileName = c.FileName;
    EXPECT_EQ(ModuleDirectory(record), c.Directory) << c.FileName;
  }
}

// Without line tables, an address is named from the exports of its module.
TEST_F(ModulesListTest, DebugInfoFallsBackToExports) {
  TLoaded exports(brx_test::TestModulePath(L"ExportSizes.dll"));
  ASSERT_NE(exports.Module(), nullptr);
  const struct {
    const char* Export;
    uintptr_t Offset;
    uint8_t Kind;
    const char* Unit;
    const char* Class;
    const char* Procedure;
  } cases[] = {
      {"PlainName", 0, dkExportName, "", "", "PlainName"},
      // Ranges run to address + size, the byte after the return.
      {"PlainName", 3, dkExportName, "", "", "PlainName"},
      // Past the routine, before the next export.
      {"PlainName", 4, dkModule, "", "", ""},
      {"PlainName", 20, dkModule, "", "", ""},
      {"@Unit@Class@Proc$qqrv", 5, dkExportSplit, "Unit", "Class", "Proc"},
      {"Unit.Proc", 2, dkExportSplit, "Unit.pas", "", "Proc"},
      {"Unit.Class.Proc", 0, dkExportSplit, "Unit", "Class", "Proc"},
      {"?Cpp@@YAXXZ", 0, dkModule, "", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Export) + " + " + std::to_string(c.Offset));
    const uintptr_t address = exports.Export(c.Export) + c.Offset;
    TVezavuDebugInfo info;
    info.Line = 77;
    GetDebugInfo(address, 1234, info, true);
    EXPECT_EQ(info.Kind, c.Kind);
    EXPECT_EQ(info.Address, address);
    ASSERT_NE(info.Module, nullptr);
    EXPECT_EQ(info.Module->Handle, exports.Module());
    EXPECT_EQ(info.ThreadID, 1234u);
    EXPECT_TRUE(info.ThreadFlag);
    EXPECT_EQ(info.UnitName, c.Unit);
    EXPECT_EQ(info.ClassName, c.Class);
    EXPECT_EQ(info.ProcedureName, c.Procedure);
    EXPECT_EQ(info.Line, 0);
  }
  // Before the first export, and outside every module.
  TVezavuDebugInfo info;
  GetDebugInfo(reinterpret_cast<uintptr_t>(exports.Module()) + 0x10, 0, info, false);
  EXPECT_EQ(info.Kind, dkModule);
  void* loose = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(loose, nullptr);
  GetDebugInfo(reinterpret_cast<uintptr_t>(loose), 5, info, false);
  EXPECT_EQ(info.Kind, dkAddress);
  EXPECT_EQ(info.Module, nullptr);
  EXPECT_EQ(info.Address, reinterpret_cast<uintptr_t>(loose));
  EXPECT_EQ(info.ThreadID, 5u);
  VirtualFree(loose, 0, MEM_RELEASE);
}

}  // namespace
