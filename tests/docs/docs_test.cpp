// The manual in docs/ against the program: the reference names every
// global function, class member and method with the program's own
// signature and nothing else; the getting-started page lists every
// command-line option of `tesserae --help` and nothing else; every code
// block marked as an example is the text of its file under
// docs/examples/; every example game runs headless on the virtual clock
// and gives its reviewed log (tests/docs/expected/) and last frame
// (docs/images/, where the manual shows it). TESSERAE_UPDATE_GOLDEN=1
// rewrites them instead; look at them before committing.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "script/script_api.h"

namespace {

namespace fs = std::filesystem;

const std::string kDocs = TESSERAE_DOCS;
const std::string kExamples = kDocs + "/examples";
const std::string kTests = TESSERAE_DOCS_TESTS;
const std::string kReferencePage = "script-api.md";
const std::string kOptionsPage = "getting-started.md";

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The pages of the manual: docs/*.md.
std::vector<std::string> pages() {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(kDocs))
        if (entry.is_regular_file() && entry.path().extension() == ".md") names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// ------------------------------------------------------------ the reference

// A signature as the registration tables hold it: argument letters, '>'
// and the result letter ("is>b"), or a member's type letter.
std::string typeLetter(const std::string& name) {
    if (name == "int") return "i";
    if (name == "float") return "f";
    if (name == "bool") return "b";
    if (name == "string") return "s";
    if (name == "null") return "0";
    return "?" + name;
}

std::string resultLetter(char result) { return result ? std::string(1, result) : "0"; }

std::string programSignature(const char* arguments, char result) {
    return std::string(arguments) + ">" + resultLetter(result);
}

// "slot: int, file: string" -> "is"
std::string documentedArguments(const std::string& list, std::string& error) {
    std::string letters;
    if (list.empty()) return letters;
    std::stringstream in(list);
    std::string parameter;
    while (std::getline(in, parameter, ',')) {
        size_t colon = parameter.find(':');
        if (colon == std::string::npos) {
            error = "parameter without a type: '" + parameter + "'";
            return letters;
        }
        std::string type = parameter.substr(colon + 1);
        type.erase(0, type.find_first_not_of(' '));
        letters += typeLetter(type);
    }
    return letters;
}

struct Documented {
    std::map<std::string, std::string> entries;  // "name", "Class.name" -> signature
    std::set<std::string> constructors;
    std::vector<std::string> errors;

    void add(const std::string& key, const std::string& signature) {
        if (!entries.emplace(key, signature).second) errors.push_back(key + " is documented twice");
    }
};

// Entry lines of the reference, each alone on its line in backquotes:
//   `loadTexture(slot: int, file: string) -> bool`
//   `PorigonManager.load(file: string) -> bool`
//   `PorigonManager.x: float`
//   `PorigonManager() -> PorigonManager`
Documented readReference() {
    Documented doc;
    static const std::regex function(R"(^`(?:([A-Za-z]+)\.)?([A-Za-z0-9_]+)\(([^)]*)\) -> ([A-Za-z]+)`$)");
    static const std::regex member(R"(^`([A-Za-z]+)\.([A-Za-z0-9_]+): ([a-z]+)`$)");
    for (const std::string& line : splitLines(readBytes(kDocs + "/" + kReferencePage))) {
        std::smatch m;
        if (std::regex_match(line, m, function)) {
            std::string owner = m[1], name = m[2], result = m[4], error;
            if (owner.empty() && result == name) {
                if (!m[3].str().empty()) doc.errors.push_back(line + ": a constructor takes no argument");
                doc.constructors.insert(name);
                continue;
            }
            std::string signature = documentedArguments(m[3], error) + ">" + typeLetter(result);
            if (!error.empty()) doc.errors.push_back(line + ": " + error);
            doc.add(owner.empty() ? name : owner + "." + name, signature);
        } else if (std::regex_match(line, m, member)) {
            doc.add(m[1].str() + "." + m[2].str(), typeLetter(m[3]));
        }
    }
    return doc;
}

std::map<std::string, std::string> programEntries(std::set<std::string>& classes) {
    std::map<std::string, std::string> entries;
    const script::GlobalDef* globals = script::globalFunctions();
    for (int i = 0; i < script::kGlobalFunctions; ++i)
        entries[globals[i].name] = programSignature(globals[i].arguments, globals[i].result);
    static const char* const kMemberLetters[] = {"i", "f", "b"};
    for (const script::ClassDef* def : {&script::porigonManagerClass(), &script::boardManagerClass()}) {
        classes.insert(def->name);
        for (int i = 0; i < def->memberCount; ++i)
            entries[std::string(def->name) + "." + def->members[i].name] = kMemberLetters[int(def->members[i].type)];
        for (int i = 0; i < def->methodCount; ++i)
            entries[std::string(def->name) + "." + def->methods[i].name] =
                programSignature(def->methods[i].arguments, def->methods[i].result);
    }
    return entries;
}

TEST(ScriptApiReference, NamesEveryFunctionAndMemberOfTheProgramAndNoOther) {
    Documented doc = readReference();
    for (const std::string& error : doc.errors) ADD_FAILURE() << kReferencePage << ": " << error;
    std::set<std::string> classes;
    std::map<std::string, std::string> program = programEntries(classes);
    ASSERT_GT(program.size(), 100u);
    for (const auto& [name, signature] : program) {
        auto found = doc.entries.find(name);
        if (found == doc.entries.end())
            ADD_FAILURE() << name << " is in the program but not in " << kReferencePage;
        else
            EXPECT_EQ(found->second, signature) << name << ": the documented types differ from the program's";
    }
    for (const auto& [name, signature] : doc.entries)
        if (!program.count(name)) ADD_FAILURE() << name << " is in " << kReferencePage << " but not in the program";
    EXPECT_EQ(doc.constructors, classes) << "every class has its constructor entry, and only they";
}

// The text of every code block marked as an example in `page`.
std::string exampleBlocksOf(const std::string& page) {
    static const std::regex marker(R"(^<!-- example(-part)?: ([^ ]+) -->$)");
    std::vector<std::string> lines = splitLines(readBytes(kDocs + "/" + page));
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!std::regex_match(lines[i], marker)) continue;
        for (size_t j = i + 2; j < lines.size() && lines[j].rfind("```", 0) != 0; ++j) text += lines[j] + "\n";
    }
    return text;
}

// Every function, member and method is used in at least one of the
// reference's examples (which the example games run).
TEST(ScriptApiReference, ShowsEveryEntryInAnExample) {
    const std::string examples = exampleBlocksOf(kReferencePage);
    std::set<std::string> classes;
    for (const auto& [key, signature] : programEntries(classes)) {
        const std::string name = key.substr(key.find('.') + 1);
        const std::regex word("(^|[^A-Za-z0-9_])" + name + "([^A-Za-z0-9_]|$)");
        EXPECT_TRUE(std::regex_search(examples, word)) << key << " appears in no example of " << kReferencePage;
    }
}

// ------------------------------------------------------------ the options

// Each `--option` the text names.
std::set<std::string> optionsIn(const std::string& text) {
    std::set<std::string> options;
    static const std::regex option(R"((^|[^A-Za-z0-9-])(--[a-z][a-z-]*))");
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        options.insert((*it)[2]);
    return options;
}

std::string commandOutput(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return output;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

TEST(CommandLineReference, ListsEveryOptionOfHelpAndNoOther) {
    std::set<std::string> program = optionsIn(commandOutput(std::string(TESSERAE_BINARY) + " --help"));
    ASSERT_GT(program.size(), 5u);
    // The options table of the getting-started page: rows starting "| `--".
    std::string rows;
    for (const std::string& line : splitLines(readBytes(kDocs + "/" + kOptionsPage)))
        if (line.rfind("| `--", 0) == 0) rows += line + "\n";
    std::set<std::string> documented = optionsIn(rows);
    for (const std::string& option : program)
        EXPECT_TRUE(documented.count(option)) << option << " is in --help but not in the table of " << kOptionsPage;
    for (const std::string& option : documented)
        EXPECT_TRUE(program.count(option)) << option << " is in " << kOptionsPage << " but not in --help";
}

// ------------------------------------------------------------ example blocks

// "first-game/step1" -> "first-game_step1"
std::string flatName(const std::string& folder) {
    std::string name = folder;
    for (char& c : name)
        if (c == '/') c = '_';
    return name;
}

// A marked block: `<!-- example: PATH -->` before a fenced block that is the
// whole file docs/examples/PATH; `<!-- example-part: PATH -->` before one
// whose lines run, in order and together, somewhere in that file;
// `<!-- example-log: FOLDER -->` before one that is the whole reviewed log
// of the example game FOLDER.
TEST(ExampleBlocks, AreTheTextOfTheirFiles) {
    static const std::regex marker(R"(^<!-- example(-part|-log)?: ([^ ]+) -->$)");
    int blocks = 0;
    for (const std::string& page : pages()) {
        std::vector<std::string> lines = splitLines(readBytes(kDocs + "/" + page));
        for (size_t i = 0; i < lines.size(); ++i) {
            std::smatch m;
            if (!std::regex_match(lines[i], m, marker)) continue;
            const bool part = m[1] == "-part", logBlock = m[1] == "-log";
            const std::string path = m[2];
            const std::string where = page + ":" + std::to_string(i + 1) + " (" + path + ")";
            if (i + 1 >= lines.size() || lines[i + 1].rfind("```", 0) != 0) {
                ADD_FAILURE() << where << ": the marker is not followed by a fenced block";
                continue;
            }
            std::vector<std::string> block;
            size_t j = i + 2;
            for (; j < lines.size() && lines[j].rfind("```", 0) != 0; ++j) block.push_back(lines[j]);
            if (j == lines.size()) {
                ADD_FAILURE() << where << ": the block is not closed";
                continue;
            }
            ++blocks;
            const std::string file =
                logBlock ? kTests + "/expected/" + flatName(path) + ".log" : kExamples + "/" + path;
            if (!fs::is_regular_file(file)) {
                ADD_FAILURE() << where << ": no file " << file;
                continue;
            }
            std::vector<std::string> fileLines = splitLines(readBytes(file));
            if (!part) {
                EXPECT_EQ(block, fileLines) << where << ": the block is not the whole file";
                continue;
            }
            bool found = false;
            for (size_t at = 0; !found && !block.empty() && at + block.size() <= fileLines.size(); ++at)
                found = std::equal(block.begin(), block.end(), fileLines.begin() + long(at));
            EXPECT_TRUE(found) << where << ": the block's lines are not in the file";
        }
    }
    EXPECT_GT(blocks, 0);
}

// ------------------------------------------------------------ example assets

// Every binary asset of the examples is made by a script beside it
// (make_*.py): run in a copy of its folder, each script must give back
// exactly the files committed there. Skipped without python3.
TEST(ExampleAssets, AreWhatTheirScriptsMake) {
    if (system("python3 -c '' > /dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    int scripts = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kExamples)) {
        const std::string name = entry.path().filename();
        if (name.rfind("make_", 0) != 0 || entry.path().extension() != ".py") continue;
        ++scripts;
        const fs::path folder = entry.path().parent_path();
        char pattern[] = "/tmp/tesserae-assets-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        const fs::path copy = fs::path(pattern) / "copy";
        fs::copy(folder, copy, fs::copy_options::recursive);
        const std::string command = "cd '" + copy.string() + "' && TESSMODEL='" + TESSMODEL_BINARY +
                                    "' python3 '" + name + "' > '" + pattern + "/out.txt' 2>&1";
        EXPECT_EQ(system(command.c_str()), 0) << command << "\n" << readBytes(std::string(pattern) + "/out.txt");
        for (const fs::directory_entry& made : fs::recursive_directory_iterator(copy)) {
            if (!made.is_regular_file() || made.path().string().find("__pycache__") != std::string::npos) continue;
            const fs::path relative = fs::relative(made.path(), copy);
            EXPECT_TRUE(readBytes(made.path()) == readBytes(folder / relative))
                << (folder / relative) << " is not what " << name << " makes";
        }
        fs::remove_all(pattern);
    }
    EXPECT_GT(scripts, 0);
}

// ------------------------------------------------------------ example games

struct ExampleRun {
    std::string folder;  // under docs/examples
    int frames = 0;
    std::string input;   // under tests/docs/input; empty for none
    int status = 0;      // the exit status the run ends with
};

// Test names and messages show the folder.
void PrintTo(const ExampleRun& run, std::ostream* out) { *out << run.folder; }

// tests/docs/examples.txt: "FOLDER FRAMES [INPUT] [status=N]" per line,
// '#' comments.
std::vector<ExampleRun> exampleRuns() {
    std::vector<ExampleRun> runs;
    for (const std::string& line : splitLines(readBytes(kTests + "/examples.txt"))) {
        std::istringstream in(line.substr(0, line.find('#')));
        ExampleRun run;
        if (!(in >> run.folder >> run.frames)) continue;
        std::string word;
        while (in >> word) {
            if (word.rfind("status=", 0) == 0) run.status = std::atoi(word.c_str() + 7);
            else run.input = word;
        }
        runs.push_back(run);
    }
    return runs;
}

TEST(ExampleGames, EveryGameUnderExamplesIsRun) {
    std::set<std::string> listed;
    for (const ExampleRun& run : exampleRuns()) listed.insert(run.folder);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(kExamples)) {
        if (entry.path().filename() != "init.nut" || entry.path().parent_path().filename() != "script") continue;
        std::string folder = fs::relative(entry.path().parent_path().parent_path(), kExamples);
        EXPECT_TRUE(listed.count(folder)) << folder << " is not listed in tests/docs/examples.txt";
    }
    for (const std::string& folder : listed)
        EXPECT_TRUE(fs::is_regular_file(kExamples + "/" + folder + "/script/init.nut")) << folder;
}

class ExampleGame : public testing::TestWithParam<ExampleRun> {};

// The game in a scratch copy, run as a user runs it on the virtual clock;
// its log and its last frame against the reviewed ones.
TEST_P(ExampleGame, GivesItsReviewedLogAndFrame) {
    const ExampleRun& run = GetParam();
    char pattern[] = "/tmp/tesserae-docs-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const std::string copy = std::string(pattern) + "/game/";
    fs::copy(kExamples + "/" + run.folder, copy, fs::copy_options::recursive);
    const std::string shot = std::string(pattern) + "/frame.png";
    std::string command = "timeout 300 " + std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames " +
                          std::to_string(run.frames) + " --screenshot '" + shot + "'";
    if (!run.input.empty()) command += " --input '" + kTests + "/input/" + run.input + "'";
    command += " '" + copy + "' > '" + std::string(pattern) + "/stderr.txt' 2>&1";
    int status = system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == run.status)
        << command << "\n" << readBytes(std::string(pattern) + "/stderr.txt");
    const std::string log = readBytes(copy + "20000101_000000.log");
    const std::string frame = readBytes(shot);
    // The reviewed frames are the manual's pictures too.
    const std::string expectedLog = kTests + "/expected/" + flatName(run.folder) + ".log";
    const std::string expectedFrame = kDocs + "/images/" + flatName(run.folder) + ".png";
    if (getenv("TESSERAE_UPDATE_GOLDEN")) {
        std::ofstream(expectedLog, std::ios::binary) << log;
        std::ofstream(expectedFrame, std::ios::binary) << frame;
    } else {
        EXPECT_EQ(log, readBytes(expectedLog)) << "the log differs from " << expectedLog;
        EXPECT_FALSE(frame.empty());
        EXPECT_TRUE(frame == readBytes(expectedFrame)) << "the frame differs from " << expectedFrame;
    }
    fs::remove_all(pattern);
}

// A new user following "Your first game": starting from an empty folder,
// each step's files are written as the page shows them (the blocks marked
// as files of first-game/stepN), the step's asset scripts are run, and the
// game then draws the step's reviewed frame. So no step needs a file the
// page does not give. Skipped without python3.
TEST(Tutorial, FromAnEmptyFolderGivesEveryStepsFrame) {
    if (system("python3 -c '' > /dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    static const std::regex marker(R"(^<!-- example: first-game/step([0-9]+)/([^ ]+) -->$)");
    std::map<int, std::vector<std::pair<std::string, std::string>>> steps;  // step -> (path, text)
    std::vector<std::string> lines = splitLines(readBytes(kDocs + "/" + kOptionsPage));
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(lines[i], m, marker)) continue;
        std::string text;
        for (size_t j = i + 2; j < lines.size() && lines[j].rfind("```", 0) != 0; ++j) text += lines[j] + "\n";
        steps[std::stoi(m[1])].push_back({m[2], text});
    }
    ASSERT_EQ(steps.size(), 5u);
    std::map<std::string, ExampleRun> runs;
    for (const ExampleRun& run : exampleRuns()) runs[run.folder] = run;
    char pattern[] = "/tmp/tesserae-tutorial-XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    const fs::path game = fs::path(pattern) / "star-catcher";
    for (const auto& [step, files] : steps) {
        for (const auto& [path, text] : files) {
            fs::create_directories((game / path).parent_path());
            std::ofstream(game / path, std::ios::binary) << text;
        }
        for (const auto& [path, text] : files) {
            if (fs::path(path).extension() != ".py") continue;
            const std::string command = "cd '" + game.string() + "' && python3 '" + path + "' > /dev/null 2>&1";
            EXPECT_EQ(system(command.c_str()), 0) << "step " << step << ": " << command;
        }
        const std::string folder = "first-game/step" + std::to_string(step);
        ASSERT_TRUE(runs.count(folder)) << folder;
        const ExampleRun& run = runs[folder];
        const fs::path copy = fs::path(pattern) / ("step" + std::to_string(step));
        fs::copy(game, copy, fs::copy_options::recursive);
        const std::string shot = copy.string() + ".png";
        std::string command = "timeout 300 " + std::string(TESSERAE_BINARY) + " --headless --virtual-clock --frames " +
                              std::to_string(run.frames) + " --screenshot '" + shot + "'";
        if (!run.input.empty()) command += " --input '" + kTests + "/input/" + run.input + "'";
        command += " '" + copy.string() + "' > /dev/null 2>&1";
        EXPECT_EQ(system(command.c_str()), 0) << "step " << step << ": " << command;
        EXPECT_TRUE(readBytes(shot) == readBytes(kDocs + "/images/" + flatName(folder) + ".png"))
            << "step " << step << " from the page does not draw the step's frame";
    }
    fs::remove_all(pattern);
}

INSTANTIATE_TEST_SUITE_P(Docs, ExampleGame, testing::ValuesIn(exampleRuns()),
                         [](const testing::TestParamInfo<ExampleRun>& info) {
                             std::string name;
                             for (char c : info.param.folder) name += std::isalnum(uint8_t(c)) ? c : '_';
                             return name;
                         });

}  // namespace
