#pragma once
// The engine's error codes, reported to the control with WM_KRM_ERROR, and
// their texts: Chinese (GBK bytes) on a system whose language is Chinese
// (PRC), English everywhere else.
#include <array>
#include <string>

enum KRMErrorCode : int {
  KRM_ERR_DAMAGED = 1,
  KRM_ERR_NO_INDEX = 2,
  KRM_ERR_CONNECT = 3,
  KRM_ERR_LOGIN_REFUSED = 4,
  KRM_ERR_DAMAGED_STREAM = 5,
  KRM_ERR_UNEXPECTED = 6,
  KRM_ERR_NETWORK = 7,
  KRM_ERR_INVALID_URL = 8,
  KRM_ERR_INVALID_SMS = 9,
  KRM_ERR_FILE_FORMAT = 10,
  KRM_ERR_SEEK = 11,
  KRM_ERR_PARSE_IP = 12,
  KRM_ERR_INDEX_TABLE = 13,
  KRM_ERR_UPGRADE = 14,
  KRM_ERR_READ_FILE = 15,
};
constexpr int KRM_ERROR_COUNT = 15;

// Entries 1 to 15 hold the texts; entry 0 is empty. The language is chosen
// once, on first use, by GetSystemDefaultLangID.
using TErrorTexts = std::array<std::string, KRM_ERROR_COUNT + 1>;
const TErrorTexts& ErrorTexts();

// The text of one code; an empty text for a code outside 1 to 15.
const std::string& ErrorText(int code);

// Both tables, for the language choice and for tests.
TErrorTexts ChineseErrorTexts();
TErrorTexts EnglishErrorTexts();
