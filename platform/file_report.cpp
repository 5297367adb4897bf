#include "platform/file_report.h"

#include <cstdint>
#include <cstdio>
#include <mutex>

#include "platform/files.h"
#include "platform/text_codec.h"

namespace platform {

namespace {

std::mutex reportLock;
uint64_t reported[kReportedFiles];
int reportedCount = 0;

// FNV-1a over the problem and the path: equal failures meet in one entry.
uint64_t failureKey(const char* problem, const std::string& path) {
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&hash](unsigned char c) {
        hash ^= c;
        hash *= 1099511628211ull;
    };
    for (const char* p = problem; *p; ++p) mix(static_cast<unsigned char>(*p));
    mix(0);
    for (unsigned char c : path) mix(c);
    return hash;
}

}  // namespace

void reportFileOnce(const char* problem, const std::string& windowsPath) {
    std::string path = displayText(resolveGamePath(windowsPath));
    uint64_t key = failureKey(problem, path);
    {
        std::lock_guard guard(reportLock);
        for (int i = 0; i < reportedCount; ++i) {
            if (reported[i] == key) return;
        }
        if (reportedCount >= kReportedFiles) return;
        reported[reportedCount++] = key;
    }
    std::string line = std::string("tesserae: ") + problem + "\n";
    fprintf(stderr, line.c_str(), path.c_str());
}

void clearFileReports() {
    std::lock_guard guard(reportLock);
    reportedCount = 0;
}

}  // namespace platform
