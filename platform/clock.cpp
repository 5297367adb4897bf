#include "platform/clock.h"

#include <time.h>

#include <algorithm>
#include <thread>

namespace platform {

namespace {

uint64_t monotonicMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000 + uint64_t(ts.tv_nsec) / 1000000;
}

RealClock& realClock() {
    static RealClock instance;
    return instance;
}

Clock* current = nullptr;

}  // namespace

RealClock::RealClock() : origin(monotonicMilliseconds()) {}

uint32_t RealClock::now() {
    // Start well away from 0 as the system timer does; 0 marks "never" in
    // some callers' records.
    return uint32_t(monotonicMilliseconds() - origin + 10000);
}

void RealClock::sleep(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DateTime RealClock::localTime() {
    time_t t = time(nullptr);
    tm parts{};
    localtime_r(&t, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
            parts.tm_hour, parts.tm_min, parts.tm_sec};
}

int64_t RealClock::unixTime() { return int64_t(time(nullptr)); }

VirtualClock::VirtualClock(uint32_t startTime) : time(startTime), start(startTime) {}

uint32_t VirtualClock::now() {
    std::lock_guard lock(mutex);
    return uint32_t(time);
}

DateTime VirtualClock::localTime() {
    std::lock_guard lock(mutex);
    uint64_t seconds = (time - start) / 1000;
    DateTime result;
    result.second = int(seconds % 60);
    result.minute = int(seconds / 60 % 60);
    result.hour = int(seconds / 3600 % 24);
    // Days past 2000-01-01; a test run never spans a month, but stay correct.
    uint64_t days = seconds / 86400;
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    while (true) {
        bool leap = (result.year % 4 == 0 && result.year % 100 != 0) || result.year % 400 == 0;
        int length = kMonthDays[result.month - 1] + (result.month == 2 && leap ? 1 : 0);
        if (days < uint64_t(length - result.day + 1)) break;
        days -= length - result.day + 1;
        result.day = 1;
        if (++result.month > 12) {
            result.month = 1;
            ++result.year;
        }
    }
    result.day += int(days);
    return result;
}

int64_t VirtualClock::unixTime() {
    std::lock_guard lock(mutex);
    return 946684800 + int64_t((time - start) / 1000);
}

void VirtualClock::advance(uint32_t milliseconds) {
    std::lock_guard lock(mutex);
    uint64_t target = time + milliseconds;
    while (true) {
        // The earliest due callback; ties go to the one added first.
        Periodic* due = nullptr;
        for (Periodic& p : periodics) {
            if (p.next <= target && (!due || p.next < due->next)) due = &p;
        }
        if (!due) break;
        time = due->next;
        due->next += due->period;
        // A copy: the callback may add or remove periodics.
        std::function<void()> callback = due->callback;
        callback();
    }
    time = target;
}

int VirtualClock::addPeriodic(uint32_t period, std::function<void()> callback) {
    std::lock_guard lock(mutex);
    if (period == 0) period = 1;
    periodics.push_back({nextId, period, time + period, std::move(callback)});
    return nextId++;
}

void VirtualClock::removePeriodic(int id) {
    std::lock_guard lock(mutex);
    periodics.erase(std::remove_if(periodics.begin(), periodics.end(),
                                   [id](const Periodic& p) { return p.id == id; }),
                    periodics.end());
}

Clock& clock() { return current ? *current : realClock(); }

void setClock(Clock* c) { current = c; }

}  // namespace platform
