// Damaged input never crashes the engine: every language test script is
// mutated many times (bytes deleted, tokens inserted, bytes swapped, text
// cut short), and every compiled form is damaged byte by byte; whatever
// compiles or loads also runs. Each run happens in a child process with a
// time limit, so a mutation that loops forever counts as harmless while a
// crash, an abort or a sanitiser report fails the test.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "squirrel.h"

namespace {

constexpr int kMutationsPerScript = 48;
constexpr int kDamagesPerStream = 24;
constexpr unsigned kRunSeconds = 2;

void discardPrint(HSQUIRRELVM, const SQChar*, ...) {}

struct Lcg {
    uint32_t state;
    uint32_t next(uint32_t bound) {
        state = state * 1664525u + 1013904223u;
        return bound ? (state >> 8) % bound : 0;
    }
};

std::vector<std::string> scriptTexts() {
    std::vector<std::string> out;
    for (auto& entry : std::filesystem::recursive_directory_iterator(SQUIRREL_TEST_DATA)) {
        if (entry.path().extension() != ".nut") continue;
        // The limits script takes minutes on its own; its mutations add nothing.
        if (entry.path().filename() == "limits.nut") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        out.push_back(ss.str());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string mutate(const std::string& text, Lcg& rng) {
    static const char* const kTokens[] = {
        "(", ")", "{", "}", "[", "]", ",", ";", "\n", "\"", "'", "/*", "::", "<-", "...",
        "yield ", "resume ", "function ", "class ", "this", "delete ", "foreach (x in ",
        "try {", "catch (e)", "throw ", "return ", "vargv[", "suspend(", "base", "++", "%",
        "0x", "1e", ".", "@", "local ", "extends ", "constructor", "_get", "null"};
    std::string s = text;
    if (s.empty()) return s;
    size_t at = rng.next(uint32_t(s.size()));
    switch (rng.next(4)) {
    case 0: s.erase(at, 1 + rng.next(3)); break;
    case 1: s.insert(at, kTokens[rng.next(sizeof kTokens / sizeof kTokens[0])]); break;
    case 2: std::swap(s[at], s[rng.next(uint32_t(s.size()))]); break;
    default: s.resize(at); break;
    }
    return s;
}

struct ByteSource {
    const std::string* data;
    size_t pos = 0;
};

SQInteger readBytes(SQUserPointer up, SQUserPointer out, SQInteger size) {
    ByteSource* s = static_cast<ByteSource*>(up);
    size_t n = std::min(size_t(size), s->data->size() - s->pos);
    memcpy(out, s->data->data() + s->pos, n);
    s->pos += n;
    return SQInteger(n);
}

SQInteger writeBytes(SQUserPointer up, SQUserPointer data, SQInteger size) {
    static_cast<std::string*>(up)->append(static_cast<const char*>(data), size_t(size));
    return size;
}

// Compiles (or loads) and runs in a child process. True unless the child
// died of anything but the time limit or exited with a failure status.
bool runsSafely(const std::string& input, bool compiled) {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        alarm(kRunSeconds);
        HSQUIRRELVM v = sq_open(1024);
        sq_setprintfunc(v, discardPrint);
        bool ready;
        if (compiled) {
            ByteSource source{&input};
            ready = SQ_SUCCEEDED(sq_readclosure(v, readBytes, &source));
        } else {
            ready = SQ_SUCCEEDED(
                sq_compilebuffer(v, input.data(), SQInteger(input.size()), "mutated", SQFalse));
        }
        if (ready) {
            sq_pushroottable(v);
            sq_call(v, 1, SQFalse, SQFalse);
        }
        sq_close(v);
        _exit(0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return false;
    if (WIFSIGNALED(status)) return WTERMSIG(status) == SIGALRM;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(MutatedScripts, CompileAndRunWithoutCrashing) {
    std::vector<std::string> scripts = scriptTexts();
    ASSERT_FALSE(scripts.empty());
    Lcg rng{12345};
    for (size_t i = 0; i < scripts.size(); ++i) {
        for (int m = 0; m < kMutationsPerScript; ++m) {
            std::string mutated = mutate(scripts[i], rng);
            if (m % 3 == 2) mutated = mutate(mutated, rng);
            ASSERT_TRUE(runsSafely(mutated, false)) << "script " << i << ", mutation " << m
                                                    << ":\n" << mutated;
        }
    }
}

TEST(DamagedBytecode, LoadsOrIsRefusedWithoutCrashing) {
    std::vector<std::string> scripts = scriptTexts();
    Lcg rng{777};
    HSQUIRRELVM v = sq_open(1024);
    for (size_t i = 0; i < scripts.size(); ++i) {
        if (SQ_FAILED(sq_compilebuffer(v, scripts[i].data(), SQInteger(scripts[i].size()), "s",
                                       SQFalse))) {
            continue;
        }
        std::string bytes;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_writeclosure(v, writeBytes, &bytes)));
        sq_pop(v, 1);
        for (int d = 0; d < kDamagesPerStream; ++d) {
            std::string damaged = bytes;
            int changes = 1 + int(rng.next(3));
            for (int c = 0; c < changes; ++c) {
                size_t at = rng.next(uint32_t(damaged.size()));
                damaged[at] = char(rng.next(4) == 0 ? 0xFF : rng.next(256));
            }
            ASSERT_TRUE(runsSafely(damaged, true)) << "script " << i << ", damage " << d;
        }
    }
    sq_close(v);
}

}  // namespace
