// The demo game (game/) played through the program from scripted input:
// title, level, result, back to the title and out. Its frames, log, saved
// table and captured sound are compared with reviewed recordings, and two
// runs must agree byte for byte. TESSERAE_UPDATE_GOLDEN=1 rewrites the
// reviewed frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kPlayInput = std::string(TESSERAE_TEST_DATA) + "/app/demo_play.txt";

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A copy of the demo game in a scratch folder, so its saves stay there.
class DemoCopy {
public:
    DemoCopy() {
        char pattern[] = "/tmp/tesserae-demo-XXXXXX";
        if (!mkdtemp(pattern)) ADD_FAILURE() << "no temporary folder";
        folder = std::string(pattern) + "/";
        // Whatever a player left in game/ (saves, logs, reports) stays out.
        std::string command = "cp -R '" + std::string(TESSERAE_DEMO_GAME) + "/.' '" + folder + "' && cd '" +
                              folder + "' && rm -f records.dat *.log report_*.txt input.so";
        if (system(command.c_str()) != 0) ADD_FAILURE() << command;
    }
    ~DemoCopy() {
        std::string command = "rm -rf '" + folder + "'";
        if (system(command.c_str()) != 0) ADD_FAILURE() << command;
    }
    DemoCopy(const DemoCopy&) = delete;
    DemoCopy& operator=(const DemoCopy&) = delete;

    // Runs the game with scripted input (the play-through unless given);
    // `frames` 0 lets the game end by itself. Returns what the program
    // printed.
    std::string run(int frames, const std::string& shot, const std::string& audio = "",
                    const std::string& input = kPlayInput) const {
        std::string command = std::string(TESSERAE_BINARY) + " --headless --virtual-clock --input '" + input + "'";
        if (frames > 0) command += " --frames " + std::to_string(frames);
        if (!shot.empty()) command += " --screenshot '" + folder + shot + "'";
        if (!audio.empty()) command += " --audio-out '" + folder + audio + "'";
        command += " '" + folder + "' 2>&1";
        std::string printed;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) {
            ADD_FAILURE() << command;
            return printed;
        }
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) printed.append(buffer, n);
        int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << "\n" << printed;
        return printed;
    }

    std::string folder;
};

void compareWithGolden(const std::string& frame, const std::string& name) {
    std::string golden = std::string(TESSERAE_TEST_DATA) + "/app/" + name;
    if (getenv("TESSERAE_UPDATE_GOLDEN")) {
        std::ofstream(golden, std::ios::binary) << frame;
        return;
    }
    EXPECT_FALSE(frame.empty()) << name;
    EXPECT_TRUE(frame == readBytes(golden)) << "frame differs from " << golden;
}

// 16-bit PCM samples of a captured WAV file (the data chunk, any channels).
struct Capture {
    int rate = 0;
    int channels = 0;
    std::vector<int16_t> samples;

    explicit Capture(const std::string& bytes) {
        if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return;
        size_t at = 12;
        while (at + 8 <= bytes.size()) {
            uint32_t size;
            std::memcpy(&size, bytes.data() + at + 4, 4);
            std::string id = bytes.substr(at, 4);
            if (id == "fmt " && size >= 16) {
                uint16_t ch, bits;
                uint32_t r;
                std::memcpy(&ch, bytes.data() + at + 10, 2);
                std::memcpy(&r, bytes.data() + at + 12, 4);
                std::memcpy(&bits, bytes.data() + at + 22, 2);
                if (bits != 16) return;
                channels = ch;
                rate = int(r);
            } else if (id == "data") {
                size_t count = std::min<size_t>(size, bytes.size() - at - 8) / 2;
                samples.resize(count);
                std::memcpy(samples.data(), bytes.data() + at + 8, count * 2);
            }
            at += 8 + size + (size & 1);
        }
    }

    double seconds() const { return rate && channels ? double(samples.size()) / channels / rate : 0.0; }

    // Root mean square of the samples between two times, full scale 1.0.
    double level(double from, double to) const {
        size_t a = size_t(from * rate) * size_t(channels), b = size_t(to * rate) * size_t(channels);
        b = std::min(b, samples.size());
        if (a >= b) return 0.0;
        double sum = 0;
        for (size_t i = a; i < b; ++i) sum += double(samples[i]) * samples[i];
        return std::sqrt(sum / double(b - a)) / 32768.0;
    }
};

}  // namespace

namespace {

// What the game prints in one play-through of demo_play.txt.
const char* const kPlayLog =
    "title: start\r\n"
    "star 1 at tick 27 score 148\r\n"
    "pick 11 at distance 28\r\n"
    "star 2 at tick 106 score 292\r\n"
    "pick 14 at distance 39\r\n"
    "star 3 at tick 216 score 431\r\n"
    "flag at 0 8\r\n"
    "pick 52 at distance 30\r\n"
    "star 4 at tick 425 score 559\r\n"
    "star 5 at tick 502 score 683\r\n"
    "clear with score 932\r\n"
    "result: score 932 rank 0 saved true\r\n"
    "records: 1 plays, best 932 5\r\n"
    "title: quit\r\n";

const char* const kLogName = "20000101_000000.log";

// The whole game from the title to "QUIT": the log tells the story (the
// picks, the flag, each star, the score), the saved table holds the score,
// no message box is shown and the sound is where the game makes it. The
// next start of the game reads the table back.
TEST(DemoGame, PlayThroughLogsSavesAndSoundsAsRecorded) {
    DemoCopy game;
    std::string printed = game.run(0, "", "sound.wav");
    EXPECT_EQ(printed.find("MessageBox:"), std::string::npos) << printed;
    EXPECT_EQ(readBytes(game.folder + kLogName), kPlayLog);
    EXPECT_EQ(readBytes(game.folder + "records.dat"), "setData(\"hs0\",\"932 5\");setData(\"plays\",\"1\");");

    Capture sound(readBytes(game.folder + "sound.wav"));
    ASSERT_GT(sound.rate, 0);
    ASSERT_GT(sound.seconds(), 36.0);
    // The title's music plays before anything is chosen.
    EXPECT_GT(sound.level(0.1, 0.7), 0.01);
    // Each star's tune and chime stand out of the garden's music.
    for (double at : {3.25, 7.25, 12.75, 23.25, 27.0})
        EXPECT_GT(sound.level(at, at + 0.25), 3.0 * sound.level(at - 0.75, at - 0.25)) << "star at " << at;
    // The garden's music fades out before the result; the fanfare plays,
    // and the choice on the result sounds over it.
    EXPECT_LT(sound.level(29.25, 29.5), 0.002);
    EXPECT_GT(sound.level(30.0, 33.0), 0.02);
    EXPECT_GT(sound.level(33.75, 34.0), 2.0 * sound.level(33.25, 33.5));

    std::remove((game.folder + kLogName).c_str());
    game.run(25, "");
    EXPECT_EQ(readBytes(game.folder + kLogName), "records: 1 plays, best 932 5\r\n");
}

// Two plays into the garden (the flag planted, a crate picked and named,
// the tinted crystal, the boards, the marker over the hero) give the same
// frame, log and sound, and the frame is the reviewed one.
TEST(DemoGame, TwoRunsAreByteIdentical) {
    DemoCopy first, second;
    for (const DemoCopy* game : {&first, &second}) {
        std::string printed = game->run(696, "shot.png", "sound.wav");
        EXPECT_EQ(printed.find("MessageBox:"), std::string::npos) << printed;
    }
    for (const char* file : {kLogName, "shot.png", "sound.wav"}) {
        EXPECT_FALSE(readBytes(first.folder + file).empty()) << file;
        EXPECT_TRUE(readBytes(first.folder + file) == readBytes(second.folder + file)) << file << " differs";
    }
    compareWithGolden(readBytes(first.folder + "shot.png"), "demo_level.png");
}

// The title and the result, each compared with its reviewed frame.
TEST(DemoGame, TitleAndResultMatchTheirGoldens) {
    DemoCopy game;
    const struct {
        int frame;
        const char* golden;
    } shots[] = {{25, "demo_title.png"}, {1120, "demo_result.png"}};
    for (const auto& shot : shots) {
        std::string printed = game.run(shot.frame, "shot.png");
        EXPECT_EQ(printed.find("MessageBox:"), std::string::npos) << printed;
        compareWithGolden(readBytes(game.folder + "shot.png"), shot.golden);
    }
}

// Left alone, the garden runs out of time: a warning sounds every second
// of the last ten, the last one is cut off when the time is up, and the
// result says so and still enters the score.
TEST(DemoGame, TimeRunsOutWithWarningsThatStopAtTheEnd) {
    DemoCopy game;
    std::string printed =
        game.run(1900, "shot.png", "sound.wav", std::string(TESSERAE_TEST_DATA) + "/app/demo_time_up.txt");
    EXPECT_EQ(printed.find("MessageBox:"), std::string::npos) << printed;
    EXPECT_EQ(readBytes(game.folder + kLogName),
              "title: start\r\ntime up with score 0\r\nresult: score 0 rank 0 saved true\r\n");
    EXPECT_EQ(readBytes(game.folder + "records.dat"), "setData(\"hs0\",\"0 0\");setData(\"plays\",\"1\");");
    compareWithGolden(readBytes(game.folder + "shot.png"), "demo_time_up.png");

    Capture sound(readBytes(game.folder + "sound.wav"));
    ASSERT_GT(sound.seconds(), 53.0);
    EXPECT_LT(sound.level(40.5, 40.65), 0.06) << "a warning before the last ten seconds";
    for (int second = 42; second <= 51; ++second)
        EXPECT_GT(sound.level(second + 0.05, second + 0.2), 0.15) << "no warning at " << second << " s";
    // Each warning lasts 1.2 s: the one of the last second would still
    // sound had the end of the game not stopped it.
    EXPECT_GT(sound.level(51.45, 51.6), 0.15);
    EXPECT_LT(sound.level(52.05, 52.2), 0.06);
}

// Saved data that is not script text is reported in the log, and the title
// still comes up with an empty table.
TEST(DemoGame, UnreadableSavedTableIsReportedAndIgnored) {
    DemoCopy game;
    std::ofstream(game.folder + "records.dat", std::ios::binary) << "setData(\"hs0\",\"1 2\"";
    std::string printed = game.run(25, "");
    EXPECT_EQ(printed.find("MessageBox:"), std::string::npos) << printed;
    std::string log = readBytes(game.folder + kLogName);
    EXPECT_NE(log.find("records.dat unreadable: "), std::string::npos) << log;
}

}  // namespace
