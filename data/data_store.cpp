#include "data/data_store.h"

#include <cstdint>
#include <vector>

#include "platform/file_report.h"
#include "platform/files.h"

namespace data {

namespace {

void appendLiteralText(std::string& out, const std::string& text) {
    for (char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c; break;
        }
    }
}

}  // namespace

void DataStore::setData(const char* key, const char* value) {
    entries[key] = value;
}

const std::string& DataStore::getData(const char* key) {
    return entries[key];
}

void DataStore::clearData() {
    entries.clear();
    loadedText.clear();
}

std::string DataStore::savedText() const {
    std::string text;
    for (const auto& [key, value] : entries) {
        text += "setData(\"";
        appendLiteralText(text, key);
        text += "\",\"";
        appendLiteralText(text, value);
        text += "\");";
    }
    return text;
}

bool DataStore::saveData(const char* file) {
    std::string text = savedText();
    if (platform::replaceFile(file, text.data(), text.size())) return true;
    platform::reportFileOnce("cannot write the save '%s'", file);
    return false;
}

bool DataStore::loadData(const char* file) {
    std::vector<uint8_t> bytes;
    if (!platform::readFile(file, bytes)) {
        loadedText.clear();
        return false;
    }
    entries.clear();
    size_t length = 0;
    while (length < bytes.size() && bytes[length] != 0) ++length;
    loadedText.assign(reinterpret_cast<const char*>(bytes.data()), length);
    return true;
}

}  // namespace data
