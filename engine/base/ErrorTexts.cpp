#include "base/ErrorTexts.h"

#include <windows.h>

#include "base/SystemText.h"

namespace {

const wchar_t* const kChinese[KRM_ERROR_COUNT] = {
    L"屏幕流文件被破坏",
    L"屏幕流文件没有索引信息",
    L"无法与目标计算机建立网络连接",
    L"拒绝提供直播服务",
    L"屏幕流文件被破坏",
    L"发生未知错误，请看错误日志文件",
    L"发生网络错误",
    L"无效的 URL",
    L"无效的多播格式文件",
    L"无效的文件格式",
    L"重定位失败",
    L"解析计算机地址失败",
    L"屏幕流索引表无效",
    L"Brindolux 需要升级",
    L"读文件失败",
};

const char* const kEnglish[KRM_ERROR_COUNT] = {
    "Screen.krm Damaged",
    "No Index Information",
    "Fail to Connnect",
    "Refuse to Login Durvanel",
    "Screen.krm Damaged",
    "Unexpected Error Occur, Please Check log",
    "Network Error",
    "Invalid URL",
    "Invalid SMS File",
    "Invalid File Format",
    "Fail to Seek",
    "Fail to Parse IP Address",
    "Invalid Index Table",
    "Brindolux Need Upgrade",
    "Fail to Read File",
};

}  // namespace

TErrorTexts ChineseErrorTexts() {
  TErrorTexts texts;
  for (int i = 0; i < KRM_ERROR_COUNT; ++i) texts[i + 1] = WideToGBK(kChinese[i]);
  return texts;
}

TErrorTexts EnglishErrorTexts() {
  TErrorTexts texts;
  for (int i = 0; i < KRM_ERROR_COUNT; ++i) texts[i + 1] = kEnglish[i];
  return texts;
}

const TErrorTexts& ErrorTexts() {
  static const TErrorTexts texts = IsChineseSystem() ? ChineseErrorTexts() : EnglishErrorTexts();
  return texts;
}

const std::string& ErrorText(int code) {
  const TErrorTexts& texts = ErrorTexts();
  return (code >= 1 && code <= KRM_ERROR_COUNT) ? texts[code] : texts[0];
}
