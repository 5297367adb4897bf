#include "platform/forced_end.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>

namespace platform {

namespace {

constexpr uint32_t kWaveHeaderBytes = 44;

struct TemporarySlot {
    std::atomic<bool> used{false};
    char path[PATH_MAX] = {};
};

struct WaveSlot {
    std::atomic<bool> used{false};
    int fd = -1;
    int blockAlign = 1;
};

TemporarySlot temporaries[kForcedEndFiles];
WaveSlot waves[kForcedEndFiles];

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

template <typename Slot>
Slot* claim(Slot (&slots)[kForcedEndFiles], int& index) {
    for (int i = 0; i < kForcedEndFiles; ++i) {
        bool expected = false;
        if (slots[i].used.load() || !slots[i].used.compare_exchange_strong(expected, true)) continue;
        index = i;
        return &slots[i];
    }
    index = -1;
    return nullptr;
}

}  // namespace

int holdTemporaryFile(const char* path) {
    if (strlen(path) >= sizeof TemporarySlot::path) return -1;
    int index;
    TemporarySlot* slot = claim(temporaries, index);
    if (!slot) return -1;
    // The path is in place before a forced end may look: `used` was set by
    // the claim, so the reader checks a non-empty path as well.
    strcpy(slot->path, path);
    return index;
}

void dropTemporaryFile(int slot) {
    if (slot < 0 || slot >= kForcedEndFiles) return;
    temporaries[slot].path[0] = '\0';
    temporaries[slot].used.store(false);
}

int holdWaveFile(int fd, int blockAlign) {
    int index;
    WaveSlot* slot = claim(waves, index);
    if (!slot) return -1;
    slot->fd = fd;
    slot->blockAlign = blockAlign > 0 ? blockAlign : 1;
    return index;
}

void dropWaveFile(int slot) {
    if (slot < 0 || slot >= kForcedEndFiles) return;
    waves[slot].fd = -1;
    waves[slot].used.store(false);
}

void finishFilesForForcedEnd() {
    for (TemporarySlot& slot : temporaries) {
        if (slot.used.load() && slot.path[0]) unlink(slot.path);
    }
    for (WaveSlot& slot : waves) {
        if (!slot.used.load() || slot.fd < 0) continue;
        struct stat st {};
        if (fstat(slot.fd, &st) != 0 || st.st_size < off_t(kWaveHeaderBytes)) continue;
        uint64_t data = uint64_t(st.st_size) - kWaveHeaderBytes;
        data -= data % uint64_t(slot.blockAlign);
        if (data > 0xFFFFFFFFull - kWaveHeaderBytes) continue;
        uint8_t size[4];
        put32(size, uint32_t(data + kWaveHeaderBytes - 8));
        ssize_t a = pwrite(slot.fd, size, 4, 4);
        put32(size, uint32_t(data));
        ssize_t b = pwrite(slot.fd, size, 4, 40);
        int c = ftruncate(slot.fd, off_t(data + kWaveHeaderBytes));
        (void)a;
        (void)b;
        (void)c;
    }
}

}  // namespace platform
