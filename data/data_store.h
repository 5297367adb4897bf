// data/data_store.h
#pragma once
#include <map>
#include <string>

namespace data {

// String keys and values that scripts keep across script files, and save
// to and load from files. A saved file is script text, one setData call
// per entry in key order, so a script restores the entries by running the
// text it gets back from getLoadData.
class DataStore {
public:
    // Inserts the key or replaces its value.
    void setData(const char* key, const char* value);

    // The key's value. A missing key is inserted with the empty value, so
    // it appears in the next saved file.
    const std::string& getData(const char* key);

    // Removes every entry and empties the loaded text.
    void clearData();

    // Writes every entry as script text. The file is replaced whole: when
    // any part of writing fails the result is false and the previous file
    // stays as it was. An empty store writes an empty file.
    bool saveData(const char* file);

    // False when the file cannot be read: the loaded text is emptied and
    // the entries stay. Otherwise the entries are removed and the loaded
    // text is the file's text up to its first NUL byte.
    bool loadData(const char* file);

    const std::string& getLoadData() const { return loadedText; }

    // The text saveData writes. Characters that would end or break a
    // string literal (double quote, backslash, line breaks) are written
    // as escapes; every other byte, Shift-JIS included, is written as is.
    std::string savedText() const;

    size_t size() const { return entries.size(); }

private:
    // std::string compares bytes as unsigned values: byte-wise key order,
    // a prefix before the longer key.
    std::map<std::string, std::string> entries;
    std::string loadedText;
};

}  // namespace data
