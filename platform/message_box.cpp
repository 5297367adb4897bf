#include "platform/message_box.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/text_codec.h"

namespace platform {

namespace {

std::mutex mutex;
std::vector<MessageBoxRecord> records;
MessageBoxPresenter presenter = nullptr;

// The thread showing a box (0: none), and whether the run's boxes are over.
std::atomic<long> boxThread{0};
std::atomic<bool> boxesClosed{false};

// Reads a small /proc file with plain system calls only: the main thread
// may hold any lock while it waits for its box.
size_t readProcFile(const char* path, char* buffer, size_t size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    size_t used = 0;
    while (used + 1 < size) {
        ssize_t n = read(fd, buffer + used, size - 1 - used);
        if (n <= 0) break;
        used += size_t(n);
    }
    close(fd);
    buffer[used] = '\0';
    return used;
}

// Ends the child processes `thread` started: a box drawn by a forked
// child keeps the program's lock file and output pipes open, and would
// stay on screen after the program is gone.
void endChildrenOf(long thread) {
    char path[96];
    char list[4096];
    snprintf(path, sizeof path, "/proc/self/task/%ld/children", thread);
    if (readProcFile(path, list, sizeof list) > 0 || access(path, F_OK) == 0) {
        for (char* p = list; *p;) {
            char* end = nullptr;
            long pid = strtol(p, &end, 10);
            if (end == p) break;
            if (pid > 0) kill(pid_t(pid), SIGKILL);
            p = end;
            while (*p == ' ' || *p == '\n') ++p;
        }
        return;
    }
    // Kernels without the children list: every process whose parent is us.
    DIR* proc = opendir("/proc");
    if (!proc) return;
    const pid_t self = getpid();
    while (dirent* entry = readdir(proc)) {
        char* end = nullptr;
        long pid = strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end) continue;
        char stat[512];
        snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        if (readProcFile(path, stat, sizeof stat) == 0) continue;
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const char* close = strrchr(stat, ')');
        long parent = 0;
        if (close && sscanf(close + 1, " %*c %ld", &parent) == 1 && parent == self) kill(pid_t(pid), SIGKILL);
    }
    closedir(proc);
}

}  // namespace

void beginMessageBox() { boxThread.store(long(syscall(SYS_gettid))); }

void endMessageBox() { boxThread.store(0); }

bool isMessageBoxOpen() { return boxThread.load() != 0; }

void reopenMessageBoxes() { boxesClosed.store(false); }

bool closeMessageBoxes() {
    boxesClosed.store(true);
    long thread = boxThread.load();
    if (thread == 0) return false;
    endChildrenOf(thread);
    return true;
}

std::string messageBoxLine(const std::string& utf8Text, const std::string& utf8Caption) {
    std::string line = "MessageBox: " + utf8Caption + ": ";
    for (size_t i = 0; i < utf8Text.size(); ++i) {
        char c = utf8Text[i];
        if (c == '\r' && i + 1 < utf8Text.size() && utf8Text[i + 1] == '\n') {
            line += "\\n";
            ++i;
        } else if (c == '\n' || c == '\r') {
            line += "\\n";
        } else {
            line += c;
        }
    }
    return line;
}

void showMessageBox(const std::string& text, const std::string& caption, Window* owner) {
    MessageBoxRecord record{displayText(caption), displayText(text)};
    MessageBoxPresenter present;
    {
        std::lock_guard lock(mutex);
        records.push_back(record);
        present = presenter;
    }
    if (present && !boxesClosed.load()) {
        present(record.text, record.caption, owner);
    } else {
        std::string line = messageBoxLine(record.text, record.caption);
        fprintf(stderr, "%s\n", line.c_str());
        fflush(stderr);
    }
}

std::vector<MessageBoxRecord> shownMessageBoxes() {
    std::lock_guard lock(mutex);
    return records;
}

void clearShownMessageBoxes() {
    std::lock_guard lock(mutex);
    records.clear();
}

void setMessageBoxPresenter(MessageBoxPresenter p) {
    std::lock_guard lock(mutex);
    presenter = p;
}

}  // namespace platform
