#include "sound/sound_text.h"

#include <cstdio>

#include "platform/files.h"
#include "platform/text_codec.h"

namespace sound {

namespace {

void writeReport(const std::string& path, const std::string& text, const char* mode) {
    if (path.empty()) return;
    FILE* file = platform::openGameFile(path, mode);
    if (!file) return;
    fwrite(text.data(), 1, text.size(), file);
    fclose(file);
}

}  // namespace

std::string formatText(const char* utf8Template, std::string_view argument, size_t limit) {
    std::string result = platform::utf8ToCp932(utf8Template);
    size_t mark = result.find("%s");
    if (mark != std::string::npos) result.replace(mark, 2, argument);
    if (result.size() > limit) result.resize(limit);
    return result;
}

void startReport(const std::string& path, const std::string& text) { writeReport(path, text, "wb"); }

void appendReport(const std::string& path, const std::string& text) { writeReport(path, text, "ab"); }

}  // namespace sound
