// The program as people install and play it: saves of a read-only game,
// --save-dir, and the host's window keys.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "app/g_app_2.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/keyboard.h"
#include "platform/null/headless_window.h"

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

int shell(const std::string& command) {
    int status = system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A scratch folder, removed afterwards even when a test left parts of it
// read-only.
class Scratch {
public:
    Scratch() {
        char pattern[] = "/tmp/tesserae-release-XXXXXX";
        if (!mkdtemp(pattern)) ADD_FAILURE() << "no temporary folder";
        root = std::string(pattern) + "/";
    }
    ~Scratch() { shell("chmod -R u+w '" + root + "' && rm -rf '" + root + "'"); }
    std::string root;
};

// Keeps a count of its runs in the data store, saves into a folder the
// game has, and tries one that it has not.
constexpr const char* kSavingScript = R"(function onLoad()
{
	if (loadData("save.txt")) compilestring(getLoadData())();
	setData("runs", getData("runs") + "I");
	print("runs " + getData("runs"));
	print("saved " + saveData("save.txt"));
	print("slot " + saveData("Saves\\slot.txt"));
	print("failed save " + saveData("nofolder\\x.txt"));
}
function onProc() { setMainLoopEnd(); }
function onDraw() {}
function onUnload() {}
)";

void makeSavingGame(const std::string& folder) {
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((folder + "script").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((folder + "saves").c_str(), 0755), 0);
    writeText(folder + "script/init.nut", kSavingScript);
}

// Every file of the folder with its size and modification time.
std::string listing(const std::string& folder) {
    std::string out = folder + "../listing.txt";
    shell("find '" + folder + "' -printf '%P %s %T@ %m\\n' | sort > '" + out + "'");
    return readBytes(out);
}

// A run that hangs fails through `timeout` (status 124).
const std::string kProgram = std::string("timeout 120 ") + TESSERAE_BINARY;

constexpr const char* kLogName = "20000101_000000.log";

// Root writes anywhere, so a read-only folder needs another user: as root
// the program runs as "nobody", with the files it needs made its own.
std::string asOrdinaryUser(const std::string& ownFolder) {
    if (geteuid() != 0) return "";
    shell("chown -R 65534:65534 '" + ownFolder + "'");
    return "setpriv --reuid=65534 --regid=65534 --clear-groups env -u XDG_RUNTIME_DIR ";
}

TEST(ReadOnlyGame, FilesGoToTheUserFolderAndComeBack) {
    Scratch scratch;
    ASSERT_EQ(chmod(scratch.root.c_str(), 0755), 0);
    std::string game = scratch.root + "Garden/";
    makeSavingGame(game);
    ASSERT_EQ(shell("chmod -R a-w '" + game + "'"), 0);
    std::string dataHome = scratch.root + "home-data";
    ASSERT_EQ(mkdir(dataHome.c_str(), 0700), 0);
    if (geteuid() == 0 && shell("command -v setpriv >/dev/null") != 0)
        GTEST_SKIP() << "running as root without setpriv: no ordinary user to run the game as";
    std::string user = asOrdinaryUser(dataHome);
    std::string before = listing(game);
    std::string command = user + "env XDG_DATA_HOME='" + dataHome + "' " + kProgram +
                          " --headless --virtual-clock '" + game + "' 2>'" + scratch.root + "err.txt'";
    ASSERT_EQ(shell(command), 0) << readBytes(scratch.root + "err.txt");
    ASSERT_EQ(shell(command), 0) << readBytes(scratch.root + "err.txt");

    std::string saves = dataHome + "/tesserae/Garden/";
    EXPECT_NE(readBytes(scratch.root + "err.txt").find("the game's files go to '" + saves + "'"), std::string::npos)
        << readBytes(scratch.root + "err.txt");
    // The second run read what the first saved.
    EXPECT_EQ(readBytes(saves + kLogName),
              "runs I\r\nsaved true\r\nslot true\r\nfailed save false\r\n"
              "runs II\r\nsaved true\r\nslot true\r\nfailed save false\r\n");
    EXPECT_EQ(readBytes(saves + "save.txt"), "setData(\"runs\",\"II\");");
    EXPECT_EQ(readBytes(saves + "saves/slot.txt"), "setData(\"runs\",\"II\");");
    EXPECT_FALSE(platform::isDirectory(saves + "nofolder"));
    EXPECT_EQ(listing(game), before);
}

TEST(SaveDirOption, NamesTheFolderForAWritableGameToo) {
    Scratch scratch;
    std::string game = scratch.root + "game/";
    makeSavingGame(game);
    std::string before = listing(game);
    std::string saves = scratch.root + "chosen/saves/";
    std::string run = kProgram + " --headless --virtual-clock --save-dir '" + saves + "' '" +
                      game + "' 2>'" + scratch.root + "err.txt'";
    ASSERT_EQ(shell(run), 0) << readBytes(scratch.root + "err.txt");
    EXPECT_EQ(readBytes(saves + kLogName), "runs I\r\nsaved true\r\nslot true\r\nfailed save false\r\n");
    EXPECT_EQ(readBytes(saves + "save.txt"), "setData(\"runs\",\"I\");");
    EXPECT_EQ(listing(game), before);
    EXPECT_EQ(readBytes(scratch.root + "err.txt"), "tesserae: cannot write the save 'nofolder/x.txt'\n");

    // A folder that cannot be made is the host's failure, said plainly.
    writeText(scratch.root + "plain", "x");
    std::string bad = kProgram + " --headless --virtual-clock --save-dir '" + scratch.root +
                      "plain/saves' '" + game + "' 2>'" + scratch.root + "err.txt'";
    EXPECT_EQ(shell(bad), app::kExitHostFailure);
    EXPECT_NE(readBytes(scratch.root + "err.txt").find("cannot make the save folder"), std::string::npos);
}

// Alt+S on frame 25 of a moving image: the file holds that frame, which a
// run ending at frame 25 shows too, and not the frame the run ends on.
TEST(WindowKeyScreenshot, AltSSavesThePresentedFrameWithTheNextNumber) {
    Scratch scratch;
    std::string game = scratch.root + "game/";
    ASSERT_EQ(shell("cp -R '" + std::string(TESSERAE_TEST_GAMES) + "/moving_image' '" + game + "'"), 0);
    std::string input = scratch.root + "input.txt";
    writeText(input,
              "10 key down RIGHT\n25 key down ALT\n25 key down S\n26 key up S\n"
              "27 key down S\n27 key up S\n28 key up ALT\n40 key up RIGHT\n");
    std::string common = kProgram + " --headless --virtual-clock --input '" + input + "' ";
    std::string saves = scratch.root + "saves/";
    std::string err = scratch.root + "err.txt";
    ASSERT_EQ(shell(common + "--frames 45 --save-dir '" + saves + "' --screenshot '" + scratch.root + "end.png' '" +
                    game + "' 2>'" + err + "'"),
              0);
    EXPECT_EQ(readBytes(err), "tesserae: screenshot saved as '" + saves + "screenshot-0001.png'\n" +
                                  "tesserae: screenshot saved as '" + saves + "screenshot-0002.png'\n");
    ASSERT_EQ(shell(common + "--frames 25 --save-dir '" + scratch.root + "other' --screenshot '" + scratch.root +
                    "at25.png' '" + game + "' 2>/dev/null"),
              0);
    std::string shot = readBytes(saves + "screenshot-0001.png");
    EXPECT_FALSE(shot.empty());
    EXPECT_EQ(shot, readBytes(scratch.root + "at25.png"));
    EXPECT_NE(shot, readBytes(scratch.root + "end.png"));
    // The game's S (button 3) never saw the press: its folder got nothing.
    EXPECT_FALSE(platform::fileExists(game + "screenshot-0001.png"));
}

// A game frame on the virtual clock with a headless window, recording
// what each tick and frame sees.
class KeyProbe : public app::G_APP_2 {
public:
    KeyProbe() { platform::setClock(&clock); }
    ~KeyProbe() override { platform::setClock(nullptr); }

    void onTick() override { buttonThree.push_back(inputState().buttons[3] != 0); }
    void onDraw3D() override {
        fullScreenAtFrame.push_back(headless->isFullScreen());
        if (platform::keyboard().isDown(platform::vk::kReturn)) returnSeen = true;
    }

    void runFrames(int frames, std::vector<platform::ScriptedInput> scripted) {
        app::RunControl control;
        control.frameLimit = frames;
        control.headless = true;
        control.scripted = std::move(scripted);
        setRunControl(std::move(control));
        runSequence([this] {
            auto made = std::make_unique<platform::HeadlessWindow>();
            headless = made.get();
            return made;
        });
    }

    platform::VirtualClock clock;
    platform::HeadlessWindow* headless = nullptr;
    std::vector<bool> buttonThree;
    std::vector<bool> fullScreenAtFrame;
    bool returnSeen = false;
};

platform::ScriptedInput key(int frame, platform::EventType type, int code) {
    platform::ScriptedInput input;
    input.frame = frame;
    input.event.type = type;
    input.event.key = code;
    return input;
}

TEST(WindowKeyFullScreen, AltEnterTogglesAndNeverReachesTheKeyTable) {
    using platform::EventType;
    using platform::vk::kMenu;
    using platform::vk::kReturn;
    KeyProbe probe;
    probe.runFrames(40, {key(2, EventType::KeyDown, kMenu), key(3, EventType::KeyDown, kReturn),
                         key(4, EventType::KeyUp, kReturn), key(10, EventType::KeyDown, kReturn),
                         key(11, EventType::KeyUp, kReturn), key(12, EventType::KeyUp, kMenu),
                         // Without Alt, S is the game's button 3 (the default mapping).
                         key(20, EventType::KeyDown, 'S'), key(30, EventType::KeyUp, 'S')});
    ASSERT_EQ(probe.fullScreenAtFrame.size(), 40u);
    EXPECT_FALSE(probe.fullScreenAtFrame[2]);  // frame 3: the press is handled after it
    EXPECT_TRUE(probe.fullScreenAtFrame[3]);
    EXPECT_TRUE(probe.fullScreenAtFrame[9]);
    EXPECT_FALSE(probe.fullScreenAtFrame[10]);
    EXPECT_FALSE(probe.returnSeen);
    EXPECT_TRUE(probe.fullScreen == false);
    bool pressed = false;
    for (bool b : probe.buttonThree) pressed = pressed || b;
    EXPECT_TRUE(pressed);
}

}  // namespace
