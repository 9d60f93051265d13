#include <gtest/gtest.h>

#include "CommandLine.h"

TEST(CommandLine, TheNameAfterTheProgram) {
  struct Case {
    const wchar_t* CommandLine;
    const wchar_t* Expected;
  };
  const Case cases[] = {
      {L"\"C:\\Program Files\\Brindolux\\Brindolux.exe\"", L""},
      {L"\"C:\\Program Files\\Brindolux\\Brindolux.exe\"   ", L""},
      {L"\"C:\\Program Files\\Brindolux\\Brindolux.exe\" \"D:\\My Lectures\\one.krm\"",
       L"D:\\My Lectures\\one.krm"},
      {L"C:\\Brindolux\\Brindolux.exe D:\\My Lectures\\one.krm", L"D:\\My Lectures\\one.krm"},
      {L"Brindolux.exe\thttp://127.0.0.1:8080/a.krm\r\n", L"http://127.0.0.1:8080/a.krm"},
      // Everything after ".exe" is one name, quotes anywhere in it dropped.
      {L"Brindolux.exe \"a.krm\" \"b.krm\"", L"a.krm b.krm"},
      // The first lower-case ".exe" ends the program's name.
      {L"Brindolux.exe C:\\tools.exe\\x.krm", L"C:\\tools.exe\\x.krm"},
      // Without a lower-case ".exe": the program's name ends at ".EXE", or at
      // the end of its first token.
      {L"\"C:\\BRINDOLUX\\BRINDOLUX.EXE\" C:\\x.krm", L"C:\\x.krm"},
      {L"\"C:\\Program Files\\Brindolux\\Brindolux\" \"C:\\a b.krm\"", L"C:\\a b.krm"},
      {L"Brindolux C:\\x.krm", L"C:\\x.krm"},
      {L"Brindolux", L""},
      {L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.CommandLine);
    EXPECT_EQ(MediaFromCommandLine(c.CommandLine), c.Expected);
  }
}
