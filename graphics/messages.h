// graphics/messages.h: every text the graphics layer shows the user, byte
// for byte (UTF-8 here; message boxes take either encoding).
#pragma once

namespace graphics::messages {

// Captions.
inline constexpr const char* kError = "エラー";
inline constexpr const char* kFullScreenError = "フルスクリーンエラー";
inline constexpr const char* kFullScreenError1 = "フルスクリーンエラー１";
inline constexpr const char* kWindowError = "ウィンドウエラー";
inline constexpr const char* kCreateFailedCaption = "DirectDrawの生成ミス";
inline constexpr const char* kErrorMessageCaption = "エラーメッセージ";
inline constexpr const char* kPaletteNotSetCaption = "パレットが設定できませんでした。";

// Display creation and use.
inline constexpr const char* kNoWindow = "フォームが設定されていません。";
inline constexpr const char* kAlreadyCreated = "すでにオブジェクトは生成されています。";
inline constexpr const char* kCreateFailed = "生成に失敗しました。";
inline constexpr const char* kDirectDrawCreateFailed = "DirectDrawオブジェクトの\r\n生成に失敗しました。";
inline constexpr const char* kModeRefused = "ディスプレイが\r\nすべてのカラーモード候補に\r\n対応していません。";
inline constexpr const char* kPrimaryFailed = "プライマリサーフェスの生成に失敗しました。";
inline constexpr const char* kOffscreenFailed = "オフスクリーンサーフェス%d番の生成に失敗しました。";
inline constexpr const char* kFileOpenFailed = "ファイルがオープンできません。";
inline constexpr const char* kFontFailed = "フォントの作成に失敗しました。";
inline constexpr const char* kPaletteLoadFailed = "パレットロードに失敗しました。";
inline constexpr const char* kPaletteFileFailed = "パレットがロードできません。";

// Device creation.
inline constexpr const char* kNoDirect3D = "Direct3Dが取得できませんでした。";
inline constexpr const char* kNoDeviceClass = "Direct3Dデバイスが生成できませんでした。";
inline constexpr const char* kZBufferFailed = "Zバッファサーフェスの生成に失敗しました。";
inline constexpr const char* kViewportFailed = "Viewが取得できませんでした。";
inline constexpr const char* kTextureFormatsFailed = "テクスチャ設定が取得できませんでした。";

}  // namespace graphics::messages
