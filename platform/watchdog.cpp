#include "platform/watchdog.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/forced_end.h"
#include "platform/message_box.h"

namespace platform {

namespace {

// Read by the main loop in every pass; written by the watchdog's thread.
std::atomic<bool> stopFlag{false};

// How often the watchdog looks at the clock when no signal comes.
constexpr long kPollNanoseconds = 100'000'000;

// A second copy of the same signal this soon after the first is the same
// request: GNU timeout, for one, signals the child and then its group.
constexpr auto kRepeatWindow = std::chrono::milliseconds(500);

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

const char* signalName(int signal) { return signal == SIGINT ? "SIGINT" : "SIGTERM"; }

}  // namespace

bool Watchdog::stopRequested() { return stopFlag.load(); }

bool Watchdog::start(int limitSeconds, uint32_t graceMilliseconds, int limitStatus) {
    if (running) return true;
    limit = limitSeconds;
    grace = graceMilliseconds;
    timeLimitStatus = limitStatus;
    stopFlag.store(false);
    cause.store(0);
    finished.store(false);
    reopenMessageBoxes();
    sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, &previousMask);
    try {
        thread = std::thread([this] { watch(); });
    } catch (const std::system_error&) {
        pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
        return false;
    }
    running = true;
    return true;
}

void Watchdog::finish() {
    if (!running) return;
    finished.store(true);
    // Wakes the watchdog from its wait, so the end of a run does not wait
    // out a poll; watch() knows this signal by its sender, the process
    // itself.
    pthread_kill(thread.native_handle(), SIGTERM);
    thread.join();
    stopFlag.store(false);
    // A signal that came after the watchdog's last look still ends the run
    // as a signal; it must not reach its default action when the mask goes.
    sigset_t set = stopSignals();
    timespec none{0, 0};
    for (int signal; (signal = sigtimedwait(&set, nullptr, &none)) > 0;) {
        int expected = 0;
        cause.compare_exchange_strong(expected, signal);
    }
    // A run ended by a signal ignores that signal while the program exits
    // with its status: a repeat (GNU timeout signals the child, then its
    // process group) must not kill it on the way out.
    const int stopSignal = cause.load();
    if (stopSignal == SIGINT || stopSignal == SIGTERM) ::signal(stopSignal, SIG_IGN);
    pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    running = false;
}

void Watchdog::forceEnd(const char* why, int status) {
    // Only system calls and _exit: the main thread may hold any lock at
    // all. A box drawn by a child process must not outlive the program.
    ssize_t written = write(STDERR_FILENO, why, strlen(why));
    (void)written;
    closeMessageBoxes();
    finishFilesForForcedEnd();
    _exit(status);
}

void Watchdog::askToStop() {
    stopFlag.store(true);
    // A box on screen holds the main thread: it is closed, so the run can
    // end as asked instead of being ended at once after the grace period.
    if (closeMessageBoxes()) fputs("tesserae: a message box was open; it is closed to end the run\n", stderr);
}

void Watchdog::watch() {
    using Steady = std::chrono::steady_clock;
    const Steady::time_point begin = Steady::now();
    const Steady::time_point deadline =
        limit > 0 ? begin + std::chrono::seconds(limit) : Steady::time_point::max();
    Steady::time_point forceAt = Steady::time_point::max();
    Steady::time_point signalledAt = Steady::time_point::min();
    int forceStatus = 0;
    const sigset_t set = stopSignals();
    char line[160];
    while (!finished.load()) {
        timespec wait{0, kPollNanoseconds};
        siginfo_t info{};
        int signal = sigtimedwait(&set, &info, &wait);
        if (signal > 0 && info.si_pid == getpid() && finished.load()) signal = 0;  // finish() woke it
        if (finished.load()) {
            if (signal > 0) {
                int expected = 0;
                cause.compare_exchange_strong(expected, signal);
            }
            break;
        }
        Steady::time_point now = Steady::now();
        if (signal > 0) {
            if (cause.load() == signal && now - signalledAt < kRepeatWindow) continue;
            if (cause.load() != 0) {
                snprintf(line, sizeof line, "tesserae: %s received again; ending at once\n", signalName(signal));
                forceEnd(line, 128 + signal);
            }
            cause.store(signal);
            signalledAt = now;
            snprintf(line, sizeof line, "tesserae: %s received; ending the run\n", signalName(signal));
            fputs(line, stderr);
            forceStatus = 128 + signal;
            forceAt = now + std::chrono::milliseconds(grace);
            askToStop();
        } else if (now >= deadline && cause.load() == 0) {
            cause.store(kTimeLimit);
            snprintf(line, sizeof line, "tesserae: %d seconds have passed (--max-seconds); ending the run\n", limit);
            fputs(line, stderr);
            forceStatus = timeLimitStatus;
            forceAt = now + std::chrono::milliseconds(grace);
            askToStop();
        }
        if (now >= forceAt) {
            snprintf(line, sizeof line,
                     isMessageBoxOpen()
                         ? "tesserae: the game did not end within %u ms of being asked (a message box does not "
                           "close); ending at once\n"
                         : "tesserae: the game did not end within %u ms of being asked (a script callback "
                           "does not return); ending at once\n",
                     unsigned(grace));
            forceEnd(line, forceStatus);
        }
    }
}

}  // namespace platform
