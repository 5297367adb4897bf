// sound/sound_text.h
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace sound {

// Every text the players show or report, as UTF-8 source text. Reports
// and error texts hold them in code page 932, like every game text.
namespace text {

// Wave player report and errors.
inline constexpr const char* kDsReportHeader = "<DirectSound動作レポート>\r\n";
inline constexpr const char* kDsInitStart = ">初期化開始...\r\n";
inline constexpr const char* kDsInitDone = ">初期化完了\r\n";
inline constexpr const char* kDsInitFailed = " !%s\r\n";
inline constexpr const char* kDsBufferFailed = ">!%s\r\n";
inline constexpr const char* kDsDestroyed = ">DirectSoundを破棄しました\r\n";
inline constexpr const char* kDsCreateFailed = "Create失敗";
inline constexpr const char* kDsBufferCreateFailed = "バッファーCreate失敗";
inline constexpr const char* kDsCannotLoad = "%sがロード出来ませんでした。";
inline constexpr const char* kDsBadContent = "%sのファイル内容が不正です。";
inline constexpr const char* kDsIndexOutOfRange = "生成最大数を超えています。";

// MIDI player report and errors.
inline constexpr const char* kDmReportHeader = "<DirectMusic動作レポート>\r\n";
inline constexpr const char* kDmCreated = ">DirectMusicを生成しました\r\n";
inline constexpr const char* kDmPerformanceFailed = ">!パフォーマンスの生成に失敗しました。\r\n";
inline constexpr const char* kDmFailed = ">!%s\r\n";
inline constexpr const char* kDmLoaded = ">%sをロードしました\r\n";
inline constexpr const char* kDmDestroyed = ">DirectMusicを破棄しました\r\n";
inline constexpr const char* kDmInitFailed = "Parformanceの初期化に失敗";
inline constexpr const char* kDmSynthFailed = "シンセサイザが選択できませんでした";
inline constexpr const char* kDmNoSoundFont =
    "SoundFontが見つかりませんでした。--soundfontで音色ファイルを指定してください。";
inline constexpr const char* kDmBadSoundFont = "SoundFont[%s]が読み込めませんでした。";
inline constexpr const char* kDmCannotLoad = "ファイル[%s]が読み込めませんでした。";
inline constexpr const char* kDmFailedOpen = "\r\n[DMUS_E_LOADER_FAILEDOPEN]";
inline constexpr const char* kDmFormatNotSupported = "\r\n[DMUS_E_LOADER_FORMATNOTSUPPORTED]";

}  // namespace text

// Code page 932 text from a UTF-8 template whose "%s", if any, becomes
// `argument` (bytes kept as they are, already code page 932), cut to
// `limit` bytes as the fixed text fields of the game are.
std::string formatText(const char* utf8Template, std::string_view argument = {},
                       size_t limit = 256);

// Report files are opened, appended to and closed for every line, so a
// crash loses nothing. An empty path writes nothing.
void startReport(const std::string& path, const std::string& text);
void appendReport(const std::string& path, const std::string& text);

}  // namespace sound
