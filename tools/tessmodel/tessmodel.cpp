// tessmodel: model and animation files to a readable text and back, and
// the host's own system assets.
//
//   tessmodel dump [--model | --anime] FILE   the text form on stdout
//   tessmodel build TEXT OUT                  the file from its text form
//   tessmodel system FOLDER                   writes FOLDER/system/...
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model_text.h"
#include "system_asset_sources.h"

namespace {

using Bytes = std::vector<uint8_t>;

int usage() {
    std::fputs(
        "usage: tessmodel dump [--model | --anime] FILE\n"
        "       tessmodel build TEXT OUT\n"
        "       tessmodel system FOLDER\n",
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

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    std::string command = argv[1];
    if (command == "dump") return dump(argc, argv);
    if (command == "build") return build(argc, argv);
    if (command == "system") return writeSystemAssets(argc, argv);
    return usage();
}
