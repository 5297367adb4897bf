// platform/watchdog.h
#pragma once
#include <atomic>
#include <csignal>
#include <cstdint>
#include <thread>

namespace platform {

// Ends a run from outside the main thread, so that neither a script stuck
// in a callback nor a signal that arrives meanwhile can keep the program
// alive.
//
// SIGINT and SIGTERM are blocked in the thread that starts the watchdog,
// and so in every thread started after it; the watchdog's own thread
// takes them. A signal, or wall time passing the limit, raises the stop
// request that the main loop polls (stopRequested) and answers like a
// close request; a message box on screen is closed and boxes shown after
// it become stderr lines (message_box.h). When the program has not called finish() within the
// grace period after that, or when a second signal comes (the same signal
// within 500 ms of the first is the same request), the watchdog writes
// why on stderr and ends the process at once with _exit, having removed
// temporary files and completed capture headers (forced_end.h): the status
// of a signal is 128 + its number, that of the time limit is the one given
// to start(). One watchdog per process.
class Watchdog {
public:
    Watchdog() = default;
    ~Watchdog() { finish(); }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // `limitSeconds` 0: no time limit. False when the thread cannot be
    // started (signals then keep their default action).
    bool start(int limitSeconds, uint32_t graceMilliseconds, int limitStatus);

    // The run is over: no forced end from here on. Signals pending at this
    // point still count in stopCause(); the signal mask of the calling
    // thread is restored, and the signal that ended the run, if one did, is
    // ignored from then on (the program is exiting because of it).
    void finish();

    // 0 while nothing asked to stop; else the signal number, or kTimeLimit.
    int stopCause() const { return cause.load(); }
    static constexpr int kTimeLimit = -1;

    // True once a signal or the time limit asked the run to end.
    static bool stopRequested();

private:
    void watch();
    void forceEnd(const char* why, int status);
    void askToStop();

    std::thread thread;
    std::atomic<bool> finished{false};
    std::atomic<int> cause{0};
    int limit = 0;
    uint32_t grace = 0;
    int timeLimitStatus = 0;
    sigset_t previousMask;
    bool running = false;
};

}  // namespace platform
