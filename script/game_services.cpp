#include "script/game_services.h"

#include "platform/keyboard.h"
#include "platform/message_box.h"

namespace script {

int16_t GameServices::asyncKeyState(int virtualKey) {
    return platform::keyboard().query(virtualKey);
}

void GameServices::messageBox(const char* text, const char* caption) {
    platform::showMessageBox(text, caption, nullptr);
}

void GameServices::showMessage(const char* text, const char* caption) {
    platform::showMessageBox(text, caption, nullptr);
}

}  // namespace script
