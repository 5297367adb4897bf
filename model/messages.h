// model/messages.h: every text the model layer shows the user, byte for
// byte (UTF-8 here; boxes are shown in code page 932).
#pragma once

namespace model::messages {

// Caption of every model message box.
inline constexpr const char* kFileNotRead = "ファイルが読み込めませんでした。";
// Text for a mesh file or texture that failed; %s is its path or name.
inline constexpr const char* kNotFound = "%sが見つかりませんでした。";

}  // namespace model::messages
