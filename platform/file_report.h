// platform/file_report.h
#pragma once
#include <string>

namespace platform {

constexpr int kReportedFiles = 256;  // distinct failures said per run

// Says on stderr why a file of the game could not be used, once per file
// and problem: "tesserae: " and `problem`, a format of ours whose one
// "%s" becomes the path as resolved in the game folder, in UTF-8. A game that asks for the same missing file every tick is
// reported once; past kReportedFiles different failures nothing more is
// said. Safe from any thread.
void reportFileOnce(const char* problem, const std::string& windowsPath)
    __attribute__((format(printf, 1, 0)));

// Forgets what was said (a new run in the same process).
void clearFileReports();

}  // namespace platform
