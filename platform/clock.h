// platform/clock.h
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace platform {

// Calendar time as the log file name and other dated texts need it.
struct DateTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
};

// Milliseconds in the manner of the multimedia timer: an unsigned 32-bit
// count that wraps after about 49.7 days, so callers subtract, never compare.
class Clock {
public:
    virtual ~Clock() = default;
    virtual uint32_t now() = 0;
    virtual void sleep(uint32_t milliseconds) = 0;
    virtual DateTime localTime() = 0;
    virtual int64_t unixTime() = 0;  // calendar seconds, as time() gives them
    virtual bool isVirtual() const = 0;
};

class RealClock final : public Clock {
public:
    RealClock();
    uint32_t now() override;
    void sleep(uint32_t milliseconds) override;
    DateTime localTime() override;
    int64_t unixTime() override;
    bool isVirtual() const override { return false; }

private:
    uint64_t origin;  // monotonic milliseconds at construction, offset so now() starts non-zero
};

// Time moves only through sleep() and advance(), so a run on this clock
// repeats exactly. Periodic callbacks fire at exact instants (start + k *
// period) while time moves across them, in instant order; a callback may
// read now(), which then equals its instant. Callbacks run on the thread
// that moves the clock. The calendar starts at 2000-01-01 00:00:00 and
// follows the virtual milliseconds.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(uint32_t start = 1000);
    uint32_t now() override;
    void sleep(uint32_t milliseconds) override { advance(milliseconds); }
    DateTime localTime() override;
    int64_t unixTime() override;  // 2000-01-01 00:00:00 UTC at the start
    bool isVirtual() const override { return true; }

    void advance(uint32_t milliseconds);

    // Returns an id for removePeriodic. The first call comes at now() + period.
    int addPeriodic(uint32_t period, std::function<void()> callback);
    void removePeriodic(int id);

private:
    struct Periodic {
        int id;
        uint32_t period;
        uint64_t next;  // absolute virtual instant, never wraps
        std::function<void()> callback;
    };
    std::recursive_mutex mutex;
    uint64_t time;  // 64-bit internally; now() hands out the low 32 bits
    uint64_t start;
    std::vector<Periodic> periodics;
    int nextId = 1;
};

// The clock every part of the program reads. Defaults to a RealClock; the
// program entry switches to a virtual one for --virtual-clock.
Clock& clock();
void setClock(Clock* clock);  // null restores the real clock

}  // namespace platform
