#include "platform/input_script.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sstream>

#include "platform/keyboard.h"

namespace platform {

namespace {

bool parseInteger(const std::string& word, long long low, long long high, long long& value) {
    if (word.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long n = strtoll(word.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || n < low || n > high) return false;
    value = n;
    return true;
}

// The words of one line, without its comment.
std::vector<std::string> words(const std::string& line) {
    std::string text = line.substr(0, line.find('#'));
    std::istringstream stream(text);
    std::vector<std::string> result;
    std::string word;
    while (stream >> word) result.push_back(word);
    return result;
}

bool parseLine(const std::vector<std::string>& w, ScriptedInput& out, std::string& reason) {
    long long frame = 0;
    if (!parseInteger(w[0], 1, INT_MAX, frame)) {
        reason = "frame number must be a positive integer";
        return false;
    }
    out.frame = int(frame);
    if (w.size() < 2) {
        reason = "missing event";
        return false;
    }
    const std::string& what = w[1];
    auto expect = [&](size_t count) {
        if (w.size() == count) return true;
        reason = "wrong number of words for '" + what + "'";
        return false;
    };
    if (what == "key") {
        if (!expect(4)) return false;
        if (w[2] != "down" && w[2] != "up") {
            reason = "expected 'down' or 'up' after 'key'";
            return false;
        }
        int key = virtualKeyFromName(w[3].c_str());
        if (key < 0) {
            reason = "unknown key '" + w[3] + "'";
            return false;
        }
        out.event.type = w[2] == "down" ? EventType::KeyDown : EventType::KeyUp;
        out.event.key = key;
        return true;
    }
    if (what == "mouse") {
        if (w.size() >= 3 && w[2] == "move") {
            if (!expect(5)) return false;
            long long x, y;
            if (!parseInteger(w[3], 0, 65535, x) || !parseInteger(w[4], 0, 65535, y)) {
                reason = "mouse coordinates must be integers from 0 to 65535";
                return false;
            }
            out.event.type = EventType::MouseMove;
            out.event.x = uint16_t(x);
            out.event.y = uint16_t(y);
            return true;
        }
        if (w.size() >= 3 && (w[2] == "down" || w[2] == "up")) {
            if (!expect(4)) return false;
            if (w[3] != "left" && w[3] != "right") {
                reason = "expected 'left' or 'right'";
                return false;
            }
            out.event.type = w[2] == "down" ? EventType::MouseDown : EventType::MouseUp;
            out.event.button = w[3] == "left" ? MouseButton::Left : MouseButton::Right;
            return true;
        }
        reason = "expected 'move', 'down' or 'up' after 'mouse'";
        return false;
    }
    if (what == "pad") {
        if (!expect(5)) return false;
        long long x, y;
        if (!parseInteger(w[2], INT32_MIN, INT32_MAX, x) ||
            !parseInteger(w[3], INT32_MIN, INT32_MAX, y)) {
            reason = "pad axes must be 32-bit integers";
            return false;
        }
        if (w[4].size() != 8 || w[4].find_first_not_of("01") != std::string::npos) {
            reason = "pad buttons must be eight 0/1 digits";
            return false;
        }
        out.kind = ScriptedInput::Kind::Pad;
        out.padX = int32_t(x);
        out.padY = int32_t(y);
        for (int i = 0; i < 8; ++i) out.padButtons[i] = w[4][i] == '1';
        return true;
    }
    if (what == "close" || what == "minimise" || what == "restore") {
        if (!expect(2)) return false;
        out.event.type = what == "close"      ? EventType::Close
                         : what == "minimise" ? EventType::Minimise
                                              : EventType::Restore;
        return true;
    }
    reason = "unknown event '" + what + "'";
    return false;
}

}  // namespace

bool parseInputScript(const std::string& text, std::vector<ScriptedInput>& out,
                      std::string& error) {
    out.clear();
    std::istringstream stream(text);
    std::string line;
    int number = 0;
    while (std::getline(stream, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> w = words(line);
        if (w.empty()) continue;
        ScriptedInput input;
        input.line = number;
        std::string reason;
        if (!parseLine(w, input, reason)) {
            error = "line " + std::to_string(number) + ": " + reason;
            out.clear();
            return false;
        }
        out.push_back(input);
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const ScriptedInput& a, const ScriptedInput& b) { return a.frame < b.frame; });
    return true;
}

}  // namespace platform
