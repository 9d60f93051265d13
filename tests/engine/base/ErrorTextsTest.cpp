#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/ErrorTexts.h"
#include "base/SystemText.h"

namespace {

// The test runs once under an English and once under a Chinese (PRC)
// system language; BRX_EXPECT_LANG says which.
bool ExpectChinese() {
  const char* lang = std::getenv("BRX_EXPECT_LANG");
  return lang && std::string(lang) == "zh_CN";
}

TEST(ErrorTexts, LanguageFollowsTheSystem) {
  EXPECT_EQ(ExpectChinese(), GetSystemDefaultLangID() == 2052) << GetSystemDefaultLangID();
  const TErrorTexts& texts = ErrorTexts();
  if (ExpectChinese()) {
    // "读文件失败" in GBK.
    EXPECT_EQ(texts[15], std::string("\xB6\xC1\xCE\xC4\xBC\xFE\xCA\xA7\xB0\xDC"));
    EXPECT_EQ(texts[14], std::string("Brindolux \xD0\xE8\xD2\xAA\xC9\xFD\xBC\xB6"));
  } else {
    EXPECT_EQ(texts[3], "Fail to Connnect");
    EXPECT_EQ(texts[15], "Fail to Read File");
  }
  EXPECT_EQ(texts[1], texts[5]);
  EXPECT_EQ(ErrorText(0), "");
  EXPECT_EQ(ErrorText(16), "");
}

}  // namespace
