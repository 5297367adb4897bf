#include "app/g_app.h"

#include "platform/clock.h"

namespace app {

G_APP::G_APP() = default;
G_APP::~G_APP() = default;

int G_APP::runSequence(const WindowFactory& makeWindow) {
    setRunning(true);
    initMembers();
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

void G_APP::run() {
    while (isRunning() && pumpMessages()) {
    }
}

bool G_APP::preHandleMessage(const platform::WindowEvent& event) {
    switch (event.type) {
        // The window's place and size are the platform window's own.
        case platform::EventType::Move:
        case platform::EventType::Size: return true;
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
