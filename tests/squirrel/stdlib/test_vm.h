// tests/squirrel/stdlib/test_vm.h: a VM opened the way the host opens it,
// with every print call captured separately.
#pragma once
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "sqstdaux.h"
#include "sqstdblob.h"
#include "sqstdio.h"
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "squirrel.h"

namespace sqstd_test {

class TestVm {
public:
    TestVm() {
        vm = sq_open(1024);
        sq_setforeignptr(vm, this);
        latest = this;
        sq_setprintfunc(vm, capture);
        sq_pushroottable(vm);
        sqstd_register_iolib(vm);
        sqstd_register_bloblib(vm);
        sqstd_register_mathlib(vm);
        sqstd_register_stringlib(vm);
        sqstd_seterrorhandlers(vm);
        sq_pop(vm, 1);
    }
    ~TestVm() {
        sq_close(vm);
        if (latest == this) latest = nullptr;
    }
    TestVm(const TestVm&) = delete;
    TestVm& operator=(const TestVm&) = delete;

    // Compiles `source` under `name` and runs it with the root table as
    // `this` and error reporting on. False on a compile or run error.
    bool run(const std::string& source, const char* name = "test.nut") {
        SQInteger top = sq_gettop(vm);
        bool ok = SQ_SUCCEEDED(sq_compilebuffer(vm, source.data(), SQInteger(source.size()), name,
                                                SQTrue));
        if (ok) {
            sq_pushroottable(vm);
            ok = SQ_SUCCEEDED(sq_call(vm, 1, SQFalse, SQTrue));
        }
        sq_settop(vm, top);
        return ok;
    }

    std::string lastError() {
        sq_getlasterror(vm);
        const SQChar* text = "(not a string)";
        sq_getstring(vm, -1, &text);
        std::string result = text;
        sq_pop(vm, 1);
        return result;
    }

    std::string printed() const {
        std::string all;
        for (const std::string& line : lines) all += line;
        return all;
    }

    HSQUIRRELVM vm;
    std::vector<std::string> lines;  // one entry per print call

private:
    static void capture(HSQUIRRELVM v, const SQChar* format, ...) {
        char buffer[4096];
        va_list args;
        va_start(args, format);
        vsnprintf(buffer, sizeof buffer, format, args);
        va_end(args);
        // Threads have no foreign pointer of their own: their reports go
        // to the VM opened last.
        TestVm* self = static_cast<TestVm*>(sq_getforeignptr(v));
        if (!self) self = latest;
        if (self) self->lines.push_back(buffer);
    }
    static inline TestVm* latest = nullptr;
};

// A fresh folder under the system temporary folder, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::random_device random;
        auto base = std::filesystem::temp_directory_path();
        for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
            auto candidate = base / ("sqstd_test_" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error)) path = candidate.string();
        }
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }

    void write(const std::string& name, const std::string& bytes) const {
        FILE* f = std::fopen(file(name).c_str(), "wb");
        if (!f) return;
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }

    std::string path;
};

}  // namespace sqstd_test
