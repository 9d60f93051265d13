// Reports name an exception's class and decide by its ancestors; the objects
// may be stale or come from another module, so every read must be checked.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>

#include "core/Errors.h"
#include "core/ExceptionObjects.h"

namespace Outer {
namespace Inner {
class EDeep : public RevavaRez::EConvertError {
 public:
  EDeep() : EConvertError("deep") {}
};
template <typename T>
class TBox : public std::exception {};
}  // namespace Inner
}  // namespace Outer

namespace {

struct Left {
  virtual ~Left() = default;
};
struct Right {
  virtual ~Right() = default;
};
struct EBoth : Left, Right, std::runtime_error {
  EBoth() : std::runtime_error("both") {}
};

// An anonymous namespace gives no namespace in the name either.
class ELocal : public RevavaRez::EAbort {};

using namespace RevavaRez;

TEST(ClassRecords, NameIsTheLastComponentOfTheMangledName) {
  Outer::Inner::EDeep deep;
  Outer::Inner::TBox<int> box;
  ELocal local;
  EBoth both;
  struct EInFunction : std::exception {
  } inFunction;
  EXPECT_EQ(ObjectClassName(&deep), "EDeep");
  EXPECT_EQ(ObjectClassName(&box), "TBox");
  EXPECT_EQ(ObjectClassName(&local), "ELocal");
  EXPECT_EQ(ObjectClassName(&both), "EBoth");
  EXPECT_EQ(ObjectClassName(static_cast<std::exception*>(&deep)), "EDeep");
  EXPECT_EQ(ClassNameOf(&typeid(std::runtime_error)), "runtime_error");
  EXPECT_EQ(ClassNameOf(&typeid(Exception)), "Exception");
  EXPECT_FALSE(ObjectClassName(&inFunction).empty());
}

TEST(ClassRecords, AncestorsOfSingleAndMultipleBases) {
  Outer::Inner::EDeep deep;
  EBoth both;
  const std::type_info* deepClass = ClassOf(&deep);
  ASSERT_EQ(deepClass, &typeid(Outer::Inner::EDeep));
  EXPECT_TRUE(InheritsFromName(deepClass, "EConvertError"));
  EXPECT_TRUE(InheritsFromName(deepClass, " exception "));
  EXPECT_TRUE(InheritsFromName(deepClass, "edeep"));
  EXPECT_FALSE(InheritsFromName(deepClass, "EAbort"));
  EXPECT_TRUE(InheritsFromNameUnchecked(deepClass, "Exception"));
  EXPECT_TRUE(InheritsFromName(ClassOf(&both), "Right"));
  EXPECT_TRUE(InheritsFromName(ClassOf(&both), "exception"));
  EXPECT_FALSE(InheritsFromName(nullptr, "exception"));

  const std::type_info* wanted[] = {&typeid(std::logic_error), &typeid(std::runtime_error)};
  EXPECT_TRUE(InheritsFromAny(&both, wanted, 2));
  EXPECT_FALSE(InheritsFromAny(&deep, wanted, 2));
}

// A chain of classes longer than the walk goes.
struct RootOfChain {
  virtual ~RootOfChain() = default;
};
template <int N>
struct Link : Link<N - 1> {};
template <>
struct Link<0> : RootOfChain {};

TEST(ClassRecords, TheAncestorWalkStopsAfter64Classes) {
  Link<60> shortChain;  // 61 links and the root
  Link<70> longChain;   // the root would be the 72nd class
  EXPECT_TRUE(InheritsFromName(ClassOf(&shortChain), "RootOfChain"));
  EXPECT_FALSE(InheritsFromName(ClassOf(&longChain), "RootOfChain"));
  EXPECT_TRUE(InheritsFromName(ClassOf(&longChain), "Link"));
}

TEST(ClassRecords, ObjectsOfAnotherModuleReadAlike) {
  HMODULE module = LoadLibraryA("ForeignClasses.dll");
  ASSERT_NE(module, nullptr);
  using TMake = std::exception* (*)();
  using TFree = void (*)(std::exception*);
  auto make =
      reinterpret_cast<TMake>(reinterpret_cast<void (*)()>(GetProcAddress(module, "MakeForeignException")));
  auto release =
      reinterpret_cast<TFree>(reinterpret_cast<void (*)()>(GetProcAddress(module, "FreeForeignException")));
  ASSERT_TRUE(make && release);
  std::exception* object = make();
  const std::type_info* classRef = ClassOf(object);
  ASSERT_NE(classRef, nullptr);
  // That module's run-time has its own type-information classes.
  EXPECT_NE(*reinterpret_cast<const void* const*>(classRef),
            *reinterpret_cast<const void* const*>(&typeid(Outer::Inner::EDeep)));
  EXPECT_EQ(ClassNameOf(classRef), "EForeignFailure");
  EXPECT_TRUE(InheritsFromName(classRef, "runtime_error"));
  EXPECT_TRUE(InheritsFromName(classRef, "exception"));
  EXPECT_TRUE(IsReportable(object));
  release(object);
  FreeLibrary(module);
}

TEST(ClassRecords, OnlyReadableNonAbortObjectsAreReportable) {
  Outer::Inner::EDeep deep;
  ELocal local;
  EXPECT_TRUE(IsReportable(&deep));
  EXPECT_FALSE(IsReportable(&local));
  EXPECT_FALSE(IsReportable(nullptr));

  // Objects whose memory, virtual table or class record is gone or garbage.
  auto page = static_cast<uintptr_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(page, nullptr);
  page[0] = reinterpret_cast<uintptr_t>(page + 4);  // a "virtual table" whose slot before is page[3]
  page[3] = 0x10;                                   // a class record at an unreadable address
  EXPECT_FALSE(IsReportable(page));
  EXPECT_EQ(ObjectClassName(page), "");
  page[3] = reinterpret_cast<uintptr_t>(page + 8);  // a record whose own virtual table is garbage
  page[8] = reinterpret_cast<uintptr_t>(page + 100);
  page[9] = reinterpret_cast<uintptr_t>("Name");
  EXPECT_FALSE(IsReportable(page));
  page[0] = 0;
  EXPECT_FALSE(IsReportable(page));
  VirtualFree(page, 0, MEM_RELEASE);
  EXPECT_FALSE(IsReportable(page));
}

TEST(ClassRecords, CurrentExceptionAndClone) {
  try {
    throw Outer::Inner::EDeep();
  } catch (...) {
    TCaughtException caught = CurrentException();
    EXPECT_TRUE(caught.IsException);
    EXPECT_EQ(caught.ClassName, "EDeep");
    EXPECT_EQ(caught.Message, "deep");
  }
  try {
    throw 7;
  } catch (...) {
    EXPECT_FALSE(CurrentException().IsException);
  }
  EXPECT_FALSE(CurrentException().IsException);

  TObjectClone* clone;
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  {
    EBoth both;
    clone = CloneObject(&both, 0x1234, &record);
  }
  // The snapshot outlives the object.
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->ClassName, "EBoth");
  EXPECT_EQ(clone->Message, "both");
  EXPECT_EQ(clone->Address, 0x1234u);
  EXPECT_TRUE(clone->HasSystemRecord);
  EXPECT_EQ(clone->SystemRecord.ExceptionCode, DWORD(EXCEPTION_ACCESS_VIOLATION));
  FreeClone(clone);
  EXPECT_EQ(CloneObject(nullptr), nullptr);
}

}  // namespace
