#include "app/g_app.h"

#include "platform/clock.h"

namespace app {

G_APP::G_APP() = default;
G_APP::~G_APP() = default;

int G_APP::runSequence(const WindowFactory& makeWindow) {
    setRunning(true);
    initMembers();
    windowStyle = computeWindowStyle();
    mainWindow = makeWindow ? makeWindow() : nullptr;
    if (!mainWindow) return 0;
    mainWindow->setEventHandler(this);
    platform::WindowDesc desc;
    desc.width = requestedWidth;
    desc.height = requestedHeight;
    desc.title = title;
    desc.fullScreen = fullScreen;
    desc.zoom = zoom;
    if (!mainWindow->create(desc)) {
        mainWindow.reset();
        return 0;
    }
    mainWindow->show(showCommand != 0);
    startUp();
    run();
    shutDown();
    return 0;
}

uint32_t G_APP::computeWindowStyle() {
    return fullScreen ? kStylePopupVisible : kStyleWindowed;
}

void G_APP::run() {
    while (isRunning() && pumpMessages()) {
    }
}

void G_APP::applyWindowMode(int toggle) {
    windowStyle = computeWindowStyle();
    if (toggle == 0) {
        positionX = 0;
        positionY = 0;
    }
}

bool G_APP::preHandleMessage(const platform::WindowEvent& event) {
    switch (event.type) {
        case platform::EventType::Move:
            positionX = event.x;
            positionY = event.y;
            return true;
        case platform::EventType::Size:
            clientWidth = event.x;
            clientHeight = event.y;
            return true;
        default: return handleMessage(event);
    }
}

bool G_APP::pumpMessages() {
    if (!mainWindow || !mainWindow->exists()) {
        setRunning(false);
        return false;
    }
    if (!mainWindow->pumpEvent()) platform::clock().sleep(1);
    return true;
}

}  // namespace app
