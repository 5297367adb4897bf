// render/frame_queue.h: shared inside render/ only.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "render/render_local.h"

namespace render {

// Triangles set up by the device's thread wait here and are drawn by
// several threads, each drawing the rows it owns (RowOwner) in the order
// the triangles came. A pixel is drawn by one thread only, with the
// triangle's own setup and the stepper started where drawing it whole
// starts it, so the image is byte for byte the one a single thread draws.
//
// Storage is allocated once; a full queue is drawn before it takes more.
// The threads sleep while nothing is queued.
class FrameQueue {
public:
    static constexpr int kMaxThreads = 8;
    static constexpr int kTriangles = 65536;
    static constexpr int kStates = 4096;

    // `threads` from 2 to kMaxThreads: the caller's thread and threads - 1
    // workers, started here.
    explicit FrameQueue(int threads);
    ~FrameQueue();
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    int threads() const { return threadCount; }
    bool isEmpty() const { return triangleCount == 0; }

    // A slot for one triangle drawn with `state`; a full queue is drawn
    // first. The slot's fields other than `state` are the caller's to set.
    QueuedTriangle& add(const RasterState& state);

    // Draws everything queued and returns when every pixel is written.
    void flush();

private:
    void workerLoop(int worker);
    void drawShare(int worker);
    void waitForPhase(std::unique_lock<std::mutex>& hold);

    std::unique_ptr<QueuedTriangle[]> triangles;
    std::unique_ptr<RasterState[]> states;
    int triangleCount = 0;
    int stateCount = 0;
    uint32_t lastSerial = 0;  // the draw call states[stateCount - 1] belongs to
    int threadCount;

    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable wake;      // workers: a flush started, or stop
    std::condition_variable arrived;   // phase and flush ends
    uint64_t generation = 0;
    int phaseArrivals = 0;
    int phaseGeneration = 0;
    int finished = 0;
    bool stopping = false;
};

}  // namespace render
