// Runs every script under tests/data/squirrel/<feature>/. A script states its
// expected output with `// expect: text` lines (one printed line each, in
// order) and, when it must stop with an uncaught error, one
// `// expect error: text` line giving the error value.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "squirrel.h"

namespace {

std::string captured;

void capturePrint(HSQUIRRELVM, const SQChar* format, ...) {
    char buf[4096];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n > 0) captured.append(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}

struct Expectation {
    std::string output;
    bool expectError = false;
    std::string error;
};

Expectation readExpectations(const std::string& text) {
    Expectation e;
    std::istringstream in(text);
    std::string line;
    const std::string kOut = "// expect: ";
    const std::string kErr = "// expect error: ";
    while (std::getline(in, line)) {
        size_t p;
        if ((p = line.find(kErr)) != std::string::npos) {
            e.expectError = true;
            e.error = line.substr(p + kErr.size());
        } else if ((p = line.find(kOut)) != std::string::npos) {
            e.output += line.substr(p + kOut.size()) + "\n";
        } else if ((p = line.find("// expect:")) != std::string::npos &&
                   line.size() == p + 10) {
            e.output += "\n";
        }
    }
    return e;
}

std::vector<std::string> scripts() {
    std::vector<std::string> out;
    // stdlib/ holds the library tests, run with the libraries registered.
    for (auto& entry : std::filesystem::recursive_directory_iterator(SQUIRREL_TEST_DATA)) {
        std::string rel = std::filesystem::relative(entry.path(), SQUIRREL_TEST_DATA).string();
        if (rel.rfind("stdlib", 0) == 0) continue;
        if (entry.path().extension() == ".nut") {
            out.push_back(std::filesystem::relative(entry.path(), SQUIRREL_TEST_DATA).string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

class SquirrelScript : public ::testing::TestWithParam<std::string> {};

TEST_P(SquirrelScript, PrintsExpectedOutput) {
    std::string path = std::string(SQUIRREL_TEST_DATA) + "/" + GetParam();
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << path;
    std::stringstream ss;
    ss << file.rdbuf();
    std::string text = ss.str();
    Expectation expect = readExpectations(text);

    captured.clear();
    HSQUIRRELVM v = sq_open(1024);
    sq_setprintfunc(v, capturePrint);
    bool failed = false;
    std::string error;
    if (SQ_FAILED(sq_compilebuffer(v, text.data(), SQInteger(text.size()), GetParam().c_str(), SQFalse))) {
        failed = true;
    } else {
        sq_pushroottable(v);
        failed = SQ_FAILED(sq_call(v, 1, SQFalse, SQFalse));
        sq_pop(v, 1);
    }
    if (failed) {
        sq_getlasterror(v);
        sq_tostring(v, -1);
        const SQChar* s = "";
        sq_getstring(v, -1, &s);
        error = s;
        sq_pop(v, 2);
    }
    sq_close(v);

    EXPECT_EQ(expect.output, captured);
    EXPECT_EQ(expect.expectError, failed) << "error: " << error;
    if (expect.expectError) {
        EXPECT_EQ(expect.error, error);
    }
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name) {
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scripts, SquirrelScript, ::testing::ValuesIn(scripts()), testName);

}  // namespace
