#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_vm.h"

namespace {

using sqstd_test::TempDir;
using sqstd_test::TestVm;

const char kExpect[] = "// expect: ";
const char kExpectError[] = "// expect error: ";

std::vector<std::string> scriptNames() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TESSERAE_STDLIB_SCRIPTS)) {
        if (entry.path().extension() == ".nut") names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class StdlibScript : public testing::TestWithParam<std::string> {};

// Each script prints what it observes; its `// expect:` lines, in order,
// are the whole output, and `// expect error:` names the error it ends with.
// Scripts run in an empty folder of their own, so they may create files.
TEST_P(StdlibScript, PrintsWhatItExpects) {
    std::filesystem::path script = std::filesystem::path(TESSERAE_STDLIB_SCRIPTS) / GetParam();
    std::ifstream in(script, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string source = buffer.str();

    std::string expected, expectedError;
    std::istringstream lines(source);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(kExpect, 0) == 0) expected += line.substr(sizeof kExpect - 1) + "\n";
        if (line.rfind(kExpectError, 0) == 0) expectedError = line.substr(sizeof kExpectError - 1);
    }

    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path);
    TestVm t;
    bool ok = t.run(source, GetParam().c_str());
    std::string error = ok ? "" : t.lastError();
    std::string output = t.printed();
    std::filesystem::current_path(previous);

    if (expectedError.empty()) {
        EXPECT_TRUE(ok) << error;
        EXPECT_EQ(output, expected);
    } else {
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, expectedError);
        EXPECT_EQ(output.substr(0, expected.size()), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Scripts, StdlibScript, testing::ValuesIn(scriptNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return info.param.substr(0, info.param.find('.'));
                         });

}  // namespace
