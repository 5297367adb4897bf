// Model and animation files to text and back.
#include "model_text.h"

#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "model/model_data.h"
#include "platform/byte_reader.h"

namespace tessmodel {

namespace {

using model::kAnimeKeyBytes;
using model::kModelPartBytes;
using model::kNameLength;
using model::kPartChildren;
using model::kTrackKeys;
constexpr int kMaxRecords = 100;
constexpr size_t kTrackBytes = kTrackKeys * kAnimeKeyBytes;
constexpr size_t kAnimeHeaderBytes = 4 + kNameLength + 8;

// ---- writing ----

std::string floatText(float value) {
    char buf[48];
    if (std::isnan(value)) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        std::snprintf(buf, sizeof buf, "bits:%08" PRIx32, bits);
        return buf;
    }
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(buf, sizeof buf, "%.*g", digits, double(value));
        float back = std::strtof(buf, nullptr);
        if (std::memcmp(&back, &value, 4) == 0) break;
    }
    return buf;
}

std::string quoted(const uint8_t* field, size_t length) {
    size_t used = length;
    while (used > 0 && field[used - 1] == 0) --used;
    std::string out = "\"";
    for (size_t i = 0; i < used; ++i) {
        uint8_t c = field[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string hexText(const uint8_t* data, size_t size) {
    std::string out;
    char buf[4];
    for (size_t i = 0; i < size; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", data[i]);
        out += buf;
    }
    return out;
}

bool modelText(const uint8_t* data, size_t size, std::ostringstream& out, std::string& error) {
    platform::ByteReader in(data, size);
    int32_t highest = in.i32();
    int32_t root = in.i32();
    if (in.hasFailed()) {
        error = "shorter than a model file's header";
        return false;
    }
    if (highest >= kMaxRecords) {
        error = "more than 100 parts";
        return false;
    }
    int parts = highest < 0 ? 0 : highest + 1;
    if (in.remaining() < size_t(parts) * kModelPartBytes) {
        error = "shorter than its " + std::to_string(parts) + " parts";
        return false;
    }
    out << "model\nhighest " << highest << "\nroot " << root << "\n";
    for (int i = 0; i < parts; ++i) {
        out << "part " << i << "\n";
        out << "  kind " << int(in.u8()) << "\n";
        out << "  name " << quoted(in.take(kNameLength), kNameLength) << "\n";
        out << "  mesh " << quoted(in.take(kNameLength), kNameLength) << "\n";
        out << "  parent " << in.i32() << "\n";
        int32_t children[kPartChildren];
        int last = -1;
        for (int c = 0; c < kPartChildren; ++c) {
            children[c] = in.i32();
            if (children[c] != -1) last = c;
        }
        out << "  children";
        for (int c = 0; c <= last; ++c) out << " " << children[c];
        out << "\n";
        for (int v = 0; v < 8; ++v) {
            out << "  v" << v;
            for (int k = 0; k < 3; ++k) out << " " << floatText(in.f32());
            out << "\n";
        }
    }
    if (in.remaining()) out << "trailing " << hexText(in.take(in.remaining()), size - in.position()) << "\n";
    return true;
}

struct RawKey {
    int16_t frame = -1;
    int16_t rotation[3] = {};
    int8_t direction[3] = {1, 1, 1};
    uint8_t pad[3] = {};
    float move[3] = {};
    int16_t mesh = -1;
};

bool isEmptyKey(const RawKey& k) {
    RawKey e;
    return k.frame == e.frame && !k.rotation[0] && !k.rotation[1] && !k.rotation[2] && k.direction[0] == 1 &&
           k.direction[1] == 1 && k.direction[2] == 1 && !k.pad[0] && !k.pad[1] && !k.pad[2] &&
           std::memcmp(k.move, e.move, sizeof e.move) == 0 && k.mesh == -1;
}

bool animeText(const uint8_t* data, size_t size, std::ostringstream& out, std::string& error) {
    platform::ByteReader in(data, size);
    int32_t version = in.i32();
    const uint8_t* name = in.take(kNameLength);
    int32_t highest = in.i32();
    int32_t unused = in.i32();
    if (in.hasFailed()) {
        error = "shorter than an animation file's header";
        return false;
    }
    if (highest >= kMaxRecords) {
        error = "more than 100 tracks";
        return false;
    }
    int tracks = highest < 0 ? 0 : highest + 1;
    if (in.remaining() < size_t(tracks) * kTrackBytes + 4) {
        error = "shorter than its " + std::to_string(tracks) + " tracks and frame count";
        return false;
    }
    out << "anime\nversion " << version << "\nmodel " << quoted(name, kNameLength) << "\nhighest " << highest
        << "\nunused " << unused << "\n";
    for (int t = 0; t < tracks; ++t) {
        RawKey keys[kTrackKeys];
        int last = -1;
        for (int k = 0; k < kTrackKeys; ++k) {
            RawKey& key = keys[k];
            key.frame = int16_t(in.u16());
            for (int16_t& r : key.rotation) r = int16_t(in.u16());
            for (int8_t& d : key.direction) d = int8_t(in.u8());
            key.pad[0] = in.u8();
            for (float& m : key.move) m = in.f32();
            key.mesh = int16_t(in.u16());
            key.pad[1] = in.u8();
            key.pad[2] = in.u8();
            if (!isEmptyKey(key)) last = k;
        }
        out << "track " << t << "\n";
        for (int k = 0; k <= last; ++k) {
            const RawKey& key = keys[k];
            out << "  key " << key.frame << " rot " << key.rotation[0] << " " << key.rotation[1] << " "
                << key.rotation[2] << " dir " << int(key.direction[0]) << " " << int(key.direction[1]) << " "
                << int(key.direction[2]) << " move " << floatText(key.move[0]) << " " << floatText(key.move[1])
                << " " << floatText(key.move[2]) << " mesh " << key.mesh;
            if (key.pad[0] || key.pad[1] || key.pad[2])
                out << " pad " << int(key.pad[0]) << " " << int(key.pad[1]) << " " << int(key.pad[2]);
            out << "\n";
        }
    }
    out << "frames " << in.i32() << "\n";
    if (in.remaining()) out << "trailing " << hexText(in.take(in.remaining()), size - in.position()) << "\n";
    return true;
}

// ---- reading ----

// The words of one line; a quoted name is one word, kept with its quotes.
struct Line {
    int number = 0;
    std::vector<std::string> words;
};

class TextReader {
public:
    explicit TextReader(const std::string& text) {
        std::istringstream in(text);
        std::string raw;
        int number = 0;
        while (std::getline(in, raw)) {
            ++number;
            if (!raw.empty() && raw.back() == '\r') raw.pop_back();
            Line line{number, {}};
            if (!split(raw, line)) return;
            if (!line.words.empty() && line.words[0][0] != '#') lines.push_back(line);
        }
    }

    bool failed() const { return !error.empty(); }
    const std::string& errorText() const { return error; }
    bool atEnd() const { return at >= lines.size(); }
    const Line* peek() const { return atEnd() ? nullptr : &lines[at]; }

    // The next line, which must start with `keyword` and have `count`
    // words after it (-1: any number).
    const Line* expect(const char* keyword, int count) {
        if (failed()) return nullptr;
        if (atEnd()) return fail(lines.empty() ? 0 : lines.back().number, std::string("\"") + keyword + "\" expected");
        const Line& line = lines[at];
        if (line.words[0] != keyword) return fail(line.number, std::string("\"") + keyword + "\" expected");
        if (count >= 0 && int(line.words.size()) != count + 1)
            return fail(line.number, std::string("\"") + keyword + "\" takes " + std::to_string(count) + " values");
        ++at;
        return &line;
    }

    bool integer(const Line& line, size_t word, int64_t low, int64_t high, int64_t& out) {
        if (failed()) return false;
        const std::string& s = line.words[word];
        char* end = nullptr;
        errno = 0;
        long long v = std::strtoll(s.c_str(), &end, 10);
        if (s.empty() || *end || errno || v < low || v > high) {
            fail(line.number, "\"" + s + "\" is not an integer from " + std::to_string(low) + " to " +
                                  std::to_string(high));
            return false;
        }
        out = v;
        return true;
    }

    bool real(const Line& line, size_t word, float& out) {
        if (failed()) return false;
        const std::string& s = line.words[word];
        if (s.rfind("bits:", 0) == 0 && s.size() == 13) {
            char* end = nullptr;
            uint32_t bits = uint32_t(std::strtoul(s.c_str() + 5, &end, 16));
            if (!*end) {
                std::memcpy(&out, &bits, 4);
                return true;
            }
        }
        char* end = nullptr;
        out = std::strtof(s.c_str(), &end);
        if (s.empty() || *end) {
            fail(line.number, "\"" + s + "\" is not a number");
            return false;
        }
        return true;
    }

    // A quoted name into a field of `length` bytes (rest zero).
    bool name(const Line& line, size_t word, uint8_t* field, size_t length) {
        if (failed()) return false;
        const std::string& s = line.words[word];
        std::memset(field, 0, length);
        if (s.size() < 2 || s.front() != '"' || s.back() != '"') {
            fail(line.number, "a quoted name expected");
            return false;
        }
        size_t n = 0;
        for (size_t i = 1; i + 1 < s.size(); ++i) {
            uint8_t c = uint8_t(s[i]);
            if (c == '\\') {
                if (s[i + 1] == 'x' && i + 3 < s.size() - 1 && std::isxdigit(uint8_t(s[i + 2])) &&
                    std::isxdigit(uint8_t(s[i + 3]))) {
                    c = uint8_t(std::strtoul(s.substr(i + 2, 2).c_str(), nullptr, 16));
                    i += 3;
                } else {
                    c = uint8_t(s[++i]);
                }
            }
            if (n == length) {
                fail(line.number, "name longer than " + std::to_string(length) + " bytes");
                return false;
            }
            field[n++] = c;
        }
        return true;
    }

    bool hex(const Line& line, size_t word, std::vector<uint8_t>& out) {
        const std::string& s = line.words[word];
        if (s.size() % 2) {
            fail(line.number, "hexadecimal bytes expected");
            return false;
        }
        for (size_t i = 0; i < s.size(); i += 2) {
            if (!std::isxdigit(uint8_t(s[i])) || !std::isxdigit(uint8_t(s[i + 1]))) {
                fail(line.number, "hexadecimal bytes expected");
                return false;
            }
            out.push_back(uint8_t(std::strtoul(s.substr(i, 2).c_str(), nullptr, 16)));
        }
        return true;
    }

    std::nullptr_t fail(int number, const std::string& text) {
        if (error.empty()) error = "line " + std::to_string(number) + ": " + text;
        return nullptr;
    }

private:
    bool split(const std::string& raw, Line& line) {
        size_t i = 0;
        while (i < raw.size()) {
            if (raw[i] == ' ' || raw[i] == '\t') {
                ++i;
                continue;
            }
            size_t start = i;
            if (raw[i] == '"') {
                for (++i; i < raw.size() && raw[i] != '"'; ++i)
                    if (raw[i] == '\\') ++i;
                if (i >= raw.size()) {
                    fail(line.number, "name without its closing quotation mark");
                    return false;
                }
                ++i;
            } else {
                while (i < raw.size() && raw[i] != ' ' && raw[i] != '\t') ++i;
            }
            line.words.push_back(raw.substr(start, i - start));
        }
        return true;
    }

    std::vector<Line> lines;
    size_t at = 0;
    std::string error;
};

void put8(std::vector<uint8_t>& b, uint32_t v) { b.push_back(uint8_t(v)); }
void put16(std::vector<uint8_t>& b, uint32_t v) {
    put8(b, v);
    put8(b, v >> 8);
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putFloat(std::vector<uint8_t>& b, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    put32(b, bits);
}

constexpr int64_t kI32Min = INT32_MIN, kI32Max = INT32_MAX;

bool trailing(TextReader& in, std::vector<uint8_t>& out) {
    if (in.peek() && in.peek()->words[0] == "trailing") {
        const Line* l = in.expect("trailing", 1);
        if (!l || !in.hex(*l, 1, out)) return false;
    }
    if (!in.atEnd()) in.fail(in.peek()->number, "unexpected \"" + in.peek()->words[0] + "\"");
    return !in.failed();
}

bool modelFromText(TextReader& in, std::vector<uint8_t>& out) {
    int64_t highest = 0, root = 0, v = 0;
    const Line* l = in.expect("highest", 1);
    if (!l || !in.integer(*l, 1, kI32Min, kMaxRecords - 1, highest)) return false;
    l = in.expect("root", 1);
    if (!l || !in.integer(*l, 1, kI32Min, kI32Max, root)) return false;
    put32(out, uint32_t(int32_t(highest)));
    put32(out, uint32_t(int32_t(root)));
    for (int64_t i = 0; i <= highest; ++i) {
        l = in.expect("part", 1);
        if (!l || !in.integer(*l, 1, i, i, v)) return false;
        l = in.expect("kind", 1);
        if (!l || !in.integer(*l, 1, 0, 255, v)) return false;
        put8(out, uint32_t(v));
        uint8_t field[kNameLength];
        for (const char* word : {"name", "mesh"}) {
            l = in.expect(word, 1);
            if (!l || !in.name(*l, 1, field, kNameLength)) return false;
            out.insert(out.end(), field, field + kNameLength);
        }
        l = in.expect("parent", 1);
        if (!l || !in.integer(*l, 1, kI32Min, kI32Max, v)) return false;
        put32(out, uint32_t(int32_t(v)));
        l = in.expect("children", -1);
        if (!l) return false;
        if (l->words.size() > size_t(kPartChildren) + 1) {
            in.fail(l->number, "more than 20 children");
            return false;
        }
        for (size_t c = 0; c < size_t(kPartChildren); ++c) {
            v = -1;
            if (c + 1 < l->words.size() && !in.integer(*l, c + 1, kI32Min, kI32Max, v)) return false;
            put32(out, uint32_t(int32_t(v)));
        }
        for (int k = 0; k < 8; ++k) {
            std::string word = "v" + std::to_string(k);
            l = in.expect(word.c_str(), 3);
            if (!l) return false;
            for (size_t a = 1; a <= 3; ++a) {
                float f = 0;
                if (!in.real(*l, a, f)) return false;
                putFloat(out, f);
            }
        }
    }
    return trailing(in, out);
}

bool animeFromText(TextReader& in, std::vector<uint8_t>& out) {
    int64_t version = 0, highest = 0, unused = 0, v = 0;
    const Line* l = in.expect("version", 1);
    if (!l || !in.integer(*l, 1, kI32Min, kI32Max, version)) return false;
    put32(out, uint32_t(int32_t(version)));
    uint8_t field[kNameLength];
    l = in.expect("model", 1);
    if (!l || !in.name(*l, 1, field, kNameLength)) return false;
    out.insert(out.end(), field, field + kNameLength);
    l = in.expect("highest", 1);
    if (!l || !in.integer(*l, 1, kI32Min, kMaxRecords - 1, highest)) return false;
    l = in.expect("unused", 1);
    if (!l || !in.integer(*l, 1, kI32Min, kI32Max, unused)) return false;
    put32(out, uint32_t(int32_t(highest)));
    put32(out, uint32_t(int32_t(unused)));
    for (int64_t t = 0; t <= highest; ++t) {
        l = in.expect("track", 1);
        if (!l || !in.integer(*l, 1, t, t, v)) return false;
        int written = 0;
        while (in.peek() && in.peek()->words[0] == "key") {
            l = in.expect("key", -1);
            if (written == kTrackKeys) {
            in.fail(l->number, "more than 30 keys");
            return false;
        }
            const std::vector<std::string>& w = l->words;
            bool padded = w.size() == 20;
            if ((w.size() != 16 && !padded) || w[2] != "rot" || w[6] != "dir" || w[10] != "move" ||
                w[14] != "mesh" || (padded && w[16] != "pad"))
                {
            in.fail(l->number, "key FRAME rot X Y Z dir X Y Z move X Y Z mesh M [pad A B C] expected");
            return false;
        }
            int64_t frame, rot[3], dir[3], mesh, pad[3] = {0, 0, 0};
            float move[3];
            if (!in.integer(*l, 1, INT16_MIN, INT16_MAX, frame)) return false;
            for (int k = 0; k < 3; ++k)
                if (!in.integer(*l, size_t(3 + k), INT16_MIN, INT16_MAX, rot[k]) ||
                    !in.integer(*l, size_t(7 + k), INT8_MIN, INT8_MAX, dir[k]) || !in.real(*l, size_t(11 + k), move[k]))
                    return false;
            if (!in.integer(*l, 15, INT16_MIN, INT16_MAX, mesh)) return false;
            for (int k = 0; padded && k < 3; ++k)
                if (!in.integer(*l, size_t(17 + k), 0, 255, pad[k])) return false;
            put16(out, uint32_t(frame));
            for (int64_t r : rot) put16(out, uint32_t(r));
            for (int64_t d : dir) put8(out, uint32_t(d));
            put8(out, uint32_t(pad[0]));
            for (float m : move) putFloat(out, m);
            put16(out, uint32_t(mesh));
            put8(out, uint32_t(pad[1]));
            put8(out, uint32_t(pad[2]));
            ++written;
        }
        for (; written < kTrackKeys; ++written) {
            put16(out, 0xFFFF);
            for (int k = 0; k < 3; ++k) put16(out, 0);
            for (int k = 0; k < 3; ++k) put8(out, 1);
            put8(out, 0);
            for (int k = 0; k < 3; ++k) putFloat(out, 0.0f);
            put16(out, 0xFFFF);
            put16(out, 0);
        }
    }
    l = in.expect("frames", 1);
    if (!l || !in.integer(*l, 1, kI32Min, kI32Max, v)) return false;
    put32(out, uint32_t(int32_t(v)));
    return trailing(in, out);
}

}  // namespace

bool toText(FileKind kind, const uint8_t* data, size_t size, std::string& text, std::string& error) {
    std::ostringstream out;
    bool ok = kind == FileKind::Model ? modelText(data, size, out, error) : animeText(data, size, out, error);
    if (ok) text = out.str();
    return ok;
}

bool fromText(const std::string& text, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    TextReader in(text);
    bool ok = false;
    if (!in.failed()) {
        if (in.peek() && in.peek()->words[0] == "model") {
            in.expect("model", 0);
            ok = modelFromText(in, out);
        } else if (in.peek() && in.peek()->words[0] == "anime") {
            in.expect("anime", 0);
            ok = animeFromText(in, out);
        } else {
            in.fail(in.peek() ? in.peek()->number : 1, "\"model\" or \"anime\" expected");
        }
    }
    if (!ok || in.failed()) {
        error = in.errorText();
        out.clear();
        return false;
    }
    return true;
}

FileKind guessKind(const std::string& name, const uint8_t* data, size_t size) {
    if (name.size() >= 4) {
        std::string ext = name.substr(name.size() - 4);
        for (char& c : ext) c = char(std::tolower(uint8_t(c)));
        if (ext == ".mdl") return FileKind::Model;
    }
    platform::ByteReader in(data, size);
    int32_t highest = in.i32();
    bool modelFits = !in.hasFailed() &&
                     size == 8 + size_t(highest < 0 || highest >= kMaxRecords ? 0 : highest + 1) * kModelPartBytes;
    if (modelFits) return FileKind::Model;
    if (size >= kAnimeHeaderBytes + 4) {
        in.seek(4 + kNameLength);
        int32_t tracks = in.i32();
        size_t n = size_t(tracks < 0 || tracks >= kMaxRecords ? 0 : tracks + 1);
        if (size == kAnimeHeaderBytes + n * kTrackBytes + 4) return FileKind::Anime;
    }
    return highest == model::kAnimeVersion && size >= kAnimeHeaderBytes + 4 ? FileKind::Anime : FileKind::Model;
}

}  // namespace tessmodel
