// The options stream and the module block are read through these streams;
// a short read that went unnoticed would leave options half-read silently.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "core/Errors.h"
#include "core/Streams.h"
#include "core/StringList.h"

using namespace RevavaRez;

namespace {

TEST(MemoryStream, ReadsWritesSeeksAndFailsShortTransfers) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  EXPECT_EQ(s.Size(), 6);
  EXPECT_EQ(s.Position(), 6);
  s.SetPosition(4);
  char two[2];
  s.ReadBuffer(two, 2);
  EXPECT_EQ(std::memcmp(two, "ef", 2), 0);
  EXPECT_EQ(s.Remaining(), 0);
  EXPECT_THROW(s.ReadBuffer(two, 1), EReadError);
  s.SetPosition(5);
  EXPECT_THROW(s.ReadBuffer(two, 2), EReadError);
  EXPECT_EQ(s.Seek(-1, soBeginning), 6);  // refused, the position stays
  s.SetPosition(8);
  s.WriteBuffer("z", 1);  // past the end: the gap is zeros
  EXPECT_EQ(s.Size(), 9);
  EXPECT_EQ(s.Memory()[6], 0);
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(s.Read(two, -5), 0);
}

TEST(FileStream, OpenAndShareModes) {
  char folder[MAX_PATH];
  GetTempPathA(MAX_PATH, folder);
  std::string name = std::string(folder) + "brx_filestream_test.bin";
  DeleteFileA(name.c_str());
  EXPECT_THROW(TFileStream(name, fmOpenRead | fmShareDenyNone), EFOpenError);
  {
    TFileStream w(name, fmCreate);
    w.WriteBuffer("0123456789", 10);
    // Created exclusively: nobody else may open it meanwhile.
    EXPECT_THROW(TFileStream(name, fmOpenRead | fmShareDenyNone), EFOpenError);
    w.SetSize(4);
    EXPECT_EQ(w.Size(), 4);
  }
  {
    TFileStream r(name, fmOpenRead | fmShareDenyWrite);
    TFileStream r2(name, fmOpenRead | fmShareDenyNone);
    EXPECT_THROW(TFileStream(name, fmOpenReadWrite | fmShareDenyNone), EFOpenError);
    char buffer[8];
    EXPECT_EQ(r.Read(buffer, 8), 4);
    EXPECT_THROW(r2.ReadBuffer(buffer, 5), EReadError);
    EXPECT_THROW(r.WriteBuffer("x", 1), EWriteError);
  }
  DeleteFileA(name.c_str());
}

TEST(StringList, AnnouncesEachChangeOrOneForAnUpdate) {
  TStringList list;
  int changes = 0;
  list.OnChange = [&] { ++changes; };
  list.Add("a");
  list.Add("b");
  list.Put(0, "c");
  EXPECT_EQ(changes, 3);
  list.BeginUpdate();
  list.Add("d");
  list.Delete(0);
  list.EndUpdate();
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(list.Text(), "b\r\nd\r\n");
  EXPECT_THROW(list.Strings(2), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  list.SetText("x\r\ny\nz");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[2], "z");
  EXPECT_EQ(list.IndexOf("y"), 1);
  EXPECT_EQ(changes, 5);
}

TEST(Errors, AnAssertionWithAMessageKeepsTheUnitAndLineForm) {
  EXPECT_STREQ(EAssertionFailed("Cannot go on.", "ExceptionLog", 12).what(),
               "Cannot go on. (ExceptionLog, line 12)");
  EXPECT_STREQ(EAssertionFailed("UnitX", 3).what(), "Assertion failure (UnitX, line 3)");
}

}  // namespace
