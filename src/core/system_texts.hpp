// The texts the machine shows the operator (message boxes, the link's string table), each in the
// language it is shown in — byte for byte what traces record and hosts that ask receive — with its
// English in one table. Hosts and the console show a text in the operator's language: English with
// the original beside it, or the original alone for a Chinese-speaking operator (LANG, --lang).
#pragma once

#include <string>
#include <string_view>

namespace korvex {

// Direct mode.
inline constexpr const char* kCardOpenFailedText = "IO port don't use,reset computer!";
inline constexpr const char* kNoCalibrationText = "无校准数据，标记将会不准确";
inline constexpr const char* kCalibrationErrorText = "校准错误";
inline constexpr const char* kNoFontText = "无相应字库！";
// The stand-alone link.
inline constexpr const char* kPortOpenFailedText = "联接脱机端口错误，请检查,错误代码：";
inline constexpr const char* kPortWord = "端口";
inline constexpr const char* kBadFlashText = "flash 存在坏块";
inline constexpr const char* kNoMarkingDataText = "无标刻数据，无法标刻，请先传送数据";
inline constexpr const char* kUnknownCommandText = "发送一个未知命令！";
// A controller took the run frame but reported that a job of its set would not run.
inline constexpr const char* kJobErrorText = "标刻文件出错，无法标刻，请重新传送数据";
inline constexpr const char* kWriteFileFailedText = "传输写文件命令出错,请重新传送";
inline constexpr const char* kFileInfoFailedText = "传输文件信息出错,请重新传送";
inline constexpr const char* kHeadParaFailedText = "传输系统参数出错,请重新传送";
inline constexpr const char* kFileDataFailedText = "传输文件数据出错,请重新传送";
inline constexpr const char* kNoGridText = "无校准数据";
inline constexpr const char* kCalCommandFailedText = "传输校准数据命令出错,请重新传送";
inline constexpr const char* kCalPageFailedText = "传输校准数据出错,请重新传送";
inline constexpr const char* kSysCommandFailedText = "系统数据传送命令出错";
inline constexpr const char* kSysPageFailedText = "系统数据传送出错";
// The link's string table, entries 8007 and 8008 (the Yes/No reconnect question, and the failed
// command followed by its code).
inline constexpr const char* kReconnectQuestionText = "没连接上激光头，请确认打开激光头电源，需要重新联机吗？";
inline constexpr const char* kCommandFailedText = "串口命令通讯出错，请检查连接。";

// The operator's language for shown texts.
enum class Language { english, original };

// The text in English: every system text in it (a shown text may join several, with numbers
// between) replaced by its English, the longest match first; other bytes kept.
std::string English_of(std::string_view text);
// The text as the operator reads it in `language`: English with the original beside it in
// parentheses (the text alone when it has no other English), or the original.
std::string Shown_in(Language language, std::string_view text);

// Language for a locale or language name ("zh_CN.UTF-8", "zh", "en", "C"): the original for
// Chinese, English for every other.
Language Language_named(std::string_view name);
// The process's language for shown texts: set by Set_shown_language (the korvex program's --lang),
// else from LC_ALL, LC_MESSAGES or LANG, the first one set.
Language Shown_language();
void Set_shown_language(Language language);

}  // namespace korvex
