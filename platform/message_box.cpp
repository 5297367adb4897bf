#include "platform/message_box.h"

#include <cstdio>
#include <mutex>

#include "platform/text_codec.h"

namespace platform {

namespace {

std::mutex mutex;
std::vector<MessageBoxRecord> records;
MessageBoxPresenter presenter = nullptr;

}  // namespace

std::string messageBoxLine(const std::string& utf8Text, const std::string& utf8Caption) {
    std::string line = "MessageBox: " + utf8Caption + ": ";
    for (size_t i = 0; i < utf8Text.size(); ++i) {
        char c = utf8Text[i];
        if (c == '\r' && i + 1 < utf8Text.size() && utf8Text[i + 1] == '\n') {
            line += "\\n";
            ++i;
        } else if (c == '\n' || c == '\r') {
            line += "\\n";
        } else {
            line += c;
        }
    }
    return line;
}

void showMessageBox(const std::string& text, const std::string& caption, Window* owner) {
    MessageBoxRecord record{displayText(caption), displayText(text)};
    MessageBoxPresenter present;
    {
        std::lock_guard lock(mutex);
        records.push_back(record);
        present = presenter;
    }
    if (present) {
        present(record.text, record.caption, owner);
    } else {
        std::string line = messageBoxLine(record.text, record.caption);
        fprintf(stderr, "%s\n", line.c_str());
        fflush(stderr);
    }
}

std::vector<MessageBoxRecord> shownMessageBoxes() {
    std::lock_guard lock(mutex);
    return records;
}

void clearShownMessageBoxes() {
    std::lock_guard lock(mutex);
    records.clear();
}

void setMessageBoxPresenter(MessageBoxPresenter p) {
    std::lock_guard lock(mutex);
    presenter = p;
}

}  // namespace platform
