// render/frame_queue.cpp: the threads that draw queued triangles.
#include "render/frame_queue.h"

#include <cassert>

namespace render {

FrameQueue::FrameQueue(int threads)
    : triangles(std::make_unique<QueuedTriangle[]>(kTriangles)),
      states(std::make_unique<RasterState[]>(kStates)),
      threadCount(threads) {
    assert(threads >= 2 && threads <= kMaxThreads);
    workers.reserve(static_cast<size_t>(threads - 1));
    for (int i = 1; i < threads; ++i) workers.emplace_back([this, i] { workerLoop(i); });
}

FrameQueue::~FrameQueue() {
    {
        std::lock_guard<std::mutex> hold(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& t : workers) t.join();
}

QueuedTriangle& FrameQueue::add(const RasterState& state) {
    if (triangleCount == kTriangles || (state.serial != lastSerial && stateCount == kStates)) flush();
    if (stateCount == 0 || state.serial != lastSerial) {
        states[stateCount++] = state;
        lastSerial = state.serial;
    }
    QueuedTriangle& q = triangles[triangleCount++];
    q.state = stateCount - 1;
    return q;
}

void FrameQueue::flush() {
    if (triangleCount == 0) return;
    {
        std::lock_guard<std::mutex> hold(mutex);
        ++generation;
        finished = 0;
    }
    wake.notify_all();
    drawShare(0);
    {
        std::unique_lock<std::mutex> hold(mutex);
        arrived.wait(hold, [this] { return finished == threadCount - 1; });
    }
    triangleCount = 0;
    stateCount = 0;
    lastSerial = 0;
}

void FrameQueue::workerLoop(int worker) {
    uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(mutex);
            wake.wait(hold, [&] { return stopping || generation != seen; });
            if (stopping) return;
            seen = generation;
        }
        drawShare(worker);
        {
            std::lock_guard<std::mutex> hold(mutex);
            ++finished;
        }
        arrived.notify_all();
    }
}

// Even strips first, then odd ones, with every thread between the two.
void FrameQueue::drawShare(int worker) {
    for (int phase = 0; phase < 2; ++phase) {
        const RowOwner owner{worker, threadCount, phase};
        for (int i = 0; i < triangleCount; ++i) {
            const QueuedTriangle& q = triangles[i];
            drawQueuedTriangle(q, states[q.state], owner);
        }
        if (phase == 0) {
            std::unique_lock<std::mutex> hold(mutex);
            waitForPhase(hold);
        }
    }
}

void FrameQueue::waitForPhase(std::unique_lock<std::mutex>& hold) {
    const int current = phaseGeneration;
    if (++phaseArrivals == threadCount) {
        phaseArrivals = 0;
        ++phaseGeneration;
        arrived.notify_all();
        return;
    }
    arrived.wait(hold, [&] { return phaseGeneration != current; });
}

}  // namespace render
