// Data-store files on arbitrary entries: the input is cut at NUL bytes
// into keys and values, the store writes its save text, and that text, run
// as the game runs it (setData per entry), must rebuild the same entries.
// What a save file holds beyond that is script text, which fuzz_script
// covers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/data_store.h"
#include "squirrel.h"

namespace {

constexpr SQInteger kInstructionLimit = 1000000;

data::DataStore restored;

SQInteger setData(HSQUIRRELVM v) {
    const SQChar* key = nullptr;
    const SQChar* value = nullptr;
    sq_getstring(v, 2, &key);
    sq_getstring(v, 3, &value);
    restored.setData(key, value);
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    data::DataStore store;
    std::string parts[2];
    int part = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && bytes[i] != 0) {
            parts[part] += char(bytes[i]);
            continue;
        }
        if (part == 1 || i == size) {
            store.setData(parts[0].c_str(), parts[1].c_str());
            parts[0].clear();
            parts[1].clear();
        }
        part ^= 1;
    }
    const std::string text = store.savedText();

    restored.clearData();
    HSQUIRRELVM v = sq_open(1024);
    sq_setinstructionlimit(v, kInstructionLimit);
    sq_pushroottable(v);
    sq_pushstring(v, "setData", -1);
    sq_newclosure(v, setData, 0);
    sq_setparamscheck(v, 3, ".ss");
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
    bool ran = SQ_SUCCEEDED(sq_compilebuffer(v, text.data(), SQInteger(text.size()), "save", SQFalse));
    if (ran) {
        sq_pushroottable(v);
        ran = SQ_SUCCEEDED(sq_call(v, 1, SQFalse, SQFalse));
    }
    sq_close(v);
    if (!ran || restored.savedText() != text) __builtin_trap();
    return 0;
}
