// platform/message_box.h
#pragma once
#include <string>
#include <vector>

namespace platform {

class Window;

// One box as shown: texts converted to UTF-8.
struct MessageBoxRecord {
    std::string caption;
    std::string text;
};

// Shows a modal box with an OK button and returns when it is closed.
// Texts may be code page 932 or UTF-8. With a display the box is a real
// one (owned by `owner` when given); headless, it is one line on stderr,
// "MessageBox: CAPTION: TEXT", with each line break inside the text
// written as \n, and it never blocks. Every box is also recorded.
void showMessageBox(const std::string& text, const std::string& caption, Window* owner);

// The boxes shown so far in this process, oldest first.
std::vector<MessageBoxRecord> shownMessageBoxes();
void clearShownMessageBoxes();

// The windowed back end installs its presenter; without one boxes go to
// stderr. The presenter receives UTF-8 texts.
using MessageBoxPresenter = void (*)(const std::string& text, const std::string& caption,
                                     Window* owner);
void setMessageBoxPresenter(MessageBoxPresenter presenter);

// Ends the run's boxes: a box on screen is closed (the back end may draw
// it in a child process, which is ended), and every box shown from now on
// becomes its stderr line. True when a box was open. Called by the
// watchdog when the run is asked to end; safe from any thread.
bool closeMessageBoxes();

// Boxes show again (a new run in the same process).
void reopenMessageBoxes();

// True while a box is on screen.
bool isMessageBoxOpen();

// The back end's presenter brackets the box it shows with these, from the
// thread that shows it.
void beginMessageBox();
void endMessageBox();

// The one-line form used headless (exposed for tests).
std::string messageBoxLine(const std::string& utf8Text, const std::string& utf8Caption);

}  // namespace platform
