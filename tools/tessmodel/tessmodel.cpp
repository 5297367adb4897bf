// tessmodel: model and animation files to a readable text and back, and
// the host's own system assets.
//
//   tessmodel dump [--model | --anime] FILE   the text form on stdout
//   tessmodel build TEXT OUT                  the file from its text form
//   tessmodel system FOLDER                   writes FOLDER/system/...
//   tessmodel import SOURCE OUT_DIR [options] a game model from glTF, FBX, OBJ, Collada
//   tessmodel import --field SOURCE OUT        a field mesh
//   tessmodel export DESCRIPTION OUT.glb       a model as glTF 2.0
//   tessmodel view DESCRIPTION                 the model drawn by the host
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model_export.h"
#include "model_import.h"
#include "model_view.h"
#include "model_text.h"
#include "system_asset_sources.h"

namespace {

using Bytes = std::vector<uint8_t>;

int usage() {
    std::fputs(
        "usage: tessmodel dump [--model | --anime] FILE\n"
        "       tessmodel build TEXT OUT\n"
        "       tessmodel system FOLDER\n"
        "       tessmodel import SOURCE OUT_DIR [--name NAME] [--scale S] [--fps N] [--max-keys N] [--box NODE] [--bake-skin]\n"
        "       tessmodel import --field SOURCE OUT\n"
        "       tessmodel export DESCRIPTION OUT.glb [--fps N]\n"
        "       tessmodel view DESCRIPTION [--anime N] [--game FOLDER] [-- HOST_OPTIONS...]\n",
        stderr);
    return 2;
}

int failure(const std::string& text) {
    std::fprintf(stderr, "tessmodel: %s\n", text.c_str());
    return 1;
}

bool readAll(const std::string& path, Bytes& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

bool writeAll(const std::filesystem::path& path, const Bytes& bytes) {
    std::error_code ignored;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out.flush());
}

int dump(int argc, char** argv) {
    int at = 2;
    bool forced = false;
    tessmodel::FileKind kind = tessmodel::FileKind::Model;
    if (at < argc && (std::strcmp(argv[at], "--model") == 0 || std::strcmp(argv[at], "--anime") == 0)) {
        forced = true;
        kind = argv[at][2] == 'm' ? tessmodel::FileKind::Model : tessmodel::FileKind::Anime;
        ++at;
    }
    if (at + 1 != argc) return usage();
    Bytes data;
    if (!readAll(argv[at], data)) return failure(std::string(argv[at]) + ": cannot be read");
    if (!forced) kind = tessmodel::guessKind(argv[at], data.data(), data.size());
    std::string text, error;
    if (!tessmodel::toText(kind, data.data(), data.size(), text, error))
        return failure(std::string(argv[at]) + ": " + error);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

int build(int argc, char** argv) {
    if (argc != 4) return usage();
    Bytes text;
    if (!readAll(argv[2], text)) return failure(std::string(argv[2]) + ": cannot be read");
    Bytes out;
    std::string error;
    if (!tessmodel::fromText(std::string(text.begin(), text.end()), out, error))
        return failure(std::string(argv[2]) + ": " + error);
    if (!writeAll(argv[3], out)) return failure(std::string(argv[3]) + ": cannot be written");
    return 0;
}

int writeSystemAssets(int argc, char** argv) {
    if (argc != 3) return usage();
    std::filesystem::path root(argv[2]);
    for (const tessmodel::AssetSource& asset : tessmodel::systemAssetSources()) {
        Bytes bytes;
        std::string error;
        if (asset.modelText) {
            if (!tessmodel::fromText(asset.text, bytes, error)) return failure(std::string(asset.path) + ": " + error);
        } else {
            bytes = asset.bytes ? asset.bytes() : Bytes(asset.text.begin(), asset.text.end());
        }
        if (!writeAll(root / asset.path, bytes)) return failure((root / asset.path).string() + ": cannot be written");
    }
    return 0;
}

// Every file or none: the files are made in memory first, and a failed
// write removes the ones already written.
bool writeResult(const std::filesystem::path& folder, const tessmodel::ImportResult& result, std::string& error) {
    std::vector<std::filesystem::path> written;
    for (const tessmodel::OutputFile& file : result.files) {
        std::filesystem::path path = folder / file.name;
        if (!writeAll(path, file.bytes)) {
            std::error_code ignored;
            for (const auto& done : written) std::filesystem::remove(done, ignored);
            error = path.string() + ": cannot be written";
            return false;
        }
        written.push_back(path);
    }
    return true;
}

bool numberArgument(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == 0;
}

int importCommand(int argc, char** argv) {
    tessmodel::ImportOptions options;
    std::vector<std::string> positional;
    bool field = false;
    for (int at = 2; at < argc; ++at) {
        std::string arg = argv[at];
        double value = 0;
        auto next = [&]() -> const char* { return at + 1 < argc ? argv[++at] : nullptr; };
        if (arg == "--field") {
            field = true;
        } else if (arg == "--name" || arg == "--box") {
            const char* v = next();
            if (!v) return usage();
            (arg == "--name" ? options.name : options.boxNode) = v;
        } else if (arg == "--scale" || arg == "--fps" || arg == "--max-keys") {
            const char* v = next();
            if (!v || !numberArgument(v, value)) return failure(arg + " needs a number");
            if (arg == "--scale") options.scale = value;
            else if (!(value >= 0 && value <= 1e6) || value != std::floor(value))
                return failure(arg + " needs a whole number");
            else (arg == "--fps" ? options.fps : options.maxKeys) = int(value);
        } else if (arg == "--bake-skin") {
            options.bakeSkin = true;
        } else if (arg.rfind("--", 0) == 0) {
            return usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return usage();
    options.source = positional[0];
    tessmodel::ImportResult result;
    std::string error;
    std::filesystem::path out = positional[1];
    bool ok = field ? tessmodel::importField(options, out.filename().string(), result, error)
                    : tessmodel::importModel(options, result, error);
    if (!ok) return failure(error);
    for (const std::string& note : result.notes) std::fprintf(stderr, "tessmodel: note: %s\n", note.c_str());
    if (!writeResult(field ? out.parent_path() : out, result, error)) return failure(error);
    return 0;
}

int exportCommand(int argc, char** argv) {
    int fps = tessmodel::kDefaultFps;
    std::vector<std::string> positional;
    for (int at = 2; at < argc; ++at) {
        std::string arg = argv[at];
        double value = 0;
        if (arg == "--fps") {
            if (at + 1 >= argc || !numberArgument(argv[++at], value) || !(value >= 1 && value <= 1000))
                return failure("--fps needs a number from 1 to 1000");
            fps = int(value);
        } else if (arg.rfind("--", 0) == 0) {
            return usage();
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2) return usage();
    Bytes glb;
    std::string error;
    std::vector<std::string> notes;
    if (!tessmodel::exportModel(positional[0], fps, glb, error, notes)) return failure(error);
    std::sort(notes.begin(), notes.end());
    notes.erase(std::unique(notes.begin(), notes.end()), notes.end());
    for (const std::string& note : notes) std::fprintf(stderr, "tessmodel: note: %s\n", note.c_str());
    if (!writeAll(positional[1], glb)) return failure(positional[1] + ": cannot be written");
    return 0;
}

// A shell word that stands for exactly `text`.
std::string shellWord(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += '\'';
    return out;
}

// The host beside this tool (the build tree and an install keep them
// together), else the one on the PATH.
std::string hostProgram() {
    std::error_code ignored;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ignored);
    std::filesystem::path beside = self.parent_path() / "tesserae";
    if (!self.empty() && std::filesystem::exists(beside, ignored)) return beside.string();
    return "tesserae";
}

int viewCommand(int argc, char** argv) {
    int anime = 0;
    std::string description, gameFolder;
    std::string hostOptions;
    for (int at = 2; at < argc; ++at) {
        std::string arg = argv[at];
        double value = 0;
        if (arg == "--") {
            for (++at; at < argc; ++at) {
                hostOptions += ' ';
                hostOptions += shellWord(argv[at]);
            }
        } else if (arg == "--anime") {
            if (at + 1 >= argc || !numberArgument(argv[++at], value) || !(value >= 0 && value <= 29))
                return failure("--anime needs a slot from 0 to 29");
            anime = int(value);
        } else if (arg == "--game") {
            if (at + 1 >= argc) return usage();
            gameFolder = argv[++at];
        } else if (arg.rfind("--", 0) == 0 || !description.empty()) {
            return usage();
        } else {
            description = arg;
        }
    }
    if (description.empty()) return usage();
    const bool keep = !gameFolder.empty();
    if (!keep) {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessmodel-view-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return failure("no temporary folder for the viewer");
        gameFolder = pattern;
    }
    std::string error;
    if (!tessmodel::writeViewGame(description, anime, gameFolder, error)) return failure(error);
    std::string command = shellWord(hostProgram());
    command += hostOptions;
    command += ' ';
    command += shellWord(gameFolder);
    int status = std::system(command.c_str());
    if (!keep) {
        std::error_code ignored;
        std::filesystem::remove_all(gameFolder, ignored);
    }
    if (status == 0) return 0;
    std::string text = "the host ended with status ";
    text += std::to_string(status);
    return failure(text);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string command = argv[1];
    if (command == "dump") return dump(argc, argv);
    if (command == "build") return build(argc, argv);
    if (command == "system") return writeSystemAssets(argc, argv);
    if (command == "import") return importCommand(argc, argv);
    if (command == "export") return exportCommand(argc, argv);
    if (command == "view") return viewCommand(argc, argv);
    return usage();
}
