#include "host_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/files.h"

namespace testing_support {

HostDriver::HostDriver(const std::string& game) {
    char pattern[] = "/tmp/tesserae-game-XXXXXX";
    if (!mkdtemp(pattern)) ADD_FAILURE() << "no temporary folder";
    folder = std::string(pattern) + "/";
    std::string source = std::string(TESSERAE_TEST_GAMES) + "/" + game + "/.";
    std::string command = "cp -R '" + source + "' '" + folder + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "cannot copy " << source;
    previousDir = platform::currentDir();
    platform::setCurrentDir(folder);
    platform::setClock(&clock);
}

HostDriver::~HostDriver() {
    host.onEnd();
    platform::setClock(nullptr);
    platform::setCurrentDir(previousDir);
    std::string command = "rm -rf '" + folder + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "cannot remove " << folder;
}

void HostDriver::start() {
    host.onConfigure();
    host.onStart();
}

void HostDriver::tick() {
    clock.advance(50);
    host.onTick();
}

void HostDriver::frame() {
    host.onDraw3D();
    host.onDraw2D();
}

int HostDriver::runUntilStopped(int limit) {
    int ticks = 0;
    while (services.running && ticks < limit) {
        tick();
        ++ticks;
    }
    return ticks;
}

std::string HostDriver::readLog() const {
    const char* name = script::ScriptHost::logFile();
    std::ifstream in(folder + name, std::ios::binary);
    if (!in) return "";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> HostDriver::logLines() const {
    std::string text = readLog();
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool HostDriver::logHasOnlyCrLfLines() const {
    std::string text = readLog();
    return !text.empty() && text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
}

std::vector<std::string> HostDriver::expectedLines(const std::string& script) const {
    std::ifstream in(folder + script);
    std::vector<std::string> lines;
    std::string line;
    const std::string marker = "// expect: ";
    while (std::getline(in, line)) {
        if (line.compare(0, marker.size(), marker) == 0) lines.push_back(line.substr(marker.size()));
    }
    return lines;
}

}  // namespace testing_support
