#include "platform/null/headless_window.h"

namespace platform {

bool HeadlessWindow::create(const WindowDesc& desc) {
    if (desc.width <= 0 || desc.height <= 0) return false;
    title = desc.title;
    fullScreen = desc.fullScreen;
    // Room for a burst of scripted events, so posting them while the game
    // runs allocates nothing; the queue empties whenever it is drained.
    queue.reserve(kQueueReserve);
    created = true;
    shown = true;
    minimised = false;
    active = true;
    return true;
}

void HeadlessWindow::destroy() {
    if (!created) return;
    created = false;
    shown = false;
    dispatch({EventType::Destroy});
}

void HeadlessWindow::present(const FrameView& frame) {
    keepFrame(frame);
    ++presents;
}

void HeadlessWindow::post(const WindowEvent& event) {
    WindowEvent e = event;
    switch (e.type) {
        case EventType::Minimise: minimised = true; break;
        case EventType::Restore: minimised = false; break;
        case EventType::Activate: active = true; break;
        case EventType::Deactivate: active = false; break;
        case EventType::MouseMove:
            mouseX = e.x;
            mouseY = e.y;
            break;
        case EventType::MouseDown:
        case EventType::MouseUp:
            e.x = mouseX;
            e.y = mouseY;
            break;
        default: break;
    }
    queue.push_back(e);
}

bool HeadlessWindow::pumpEvent() {
    if (queueHead >= queue.size()) {
        queue.clear();
        queueHead = 0;
        return false;
    }
    WindowEvent event = queue[queueHead++];
    dispatch(event);
    return true;
}

}  // namespace platform
