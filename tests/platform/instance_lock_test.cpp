#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/instance_lock.h"

namespace {

// A game folder, and a private runtime folder standing for
// $XDG_RUNTIME_DIR, so planted lock files stay inside the test.
class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tesserae-lock-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        char runtimePattern[] = "/tmp/tesserae-run-XXXXXX";
        ASSERT_NE(mkdtemp(runtimePattern), nullptr);
        runtime = runtimePattern;
        const char* old = getenv("XDG_RUNTIME_DIR");
        hadRuntime = old != nullptr;
        if (old) oldRuntime = old;
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    void TearDown() override {
        unlink(platform::InstanceLock::lockPath(folder).c_str());
        rmdir(folder.c_str());
        std::string command = "rm -rf '" + runtime + "'";
        ASSERT_EQ(system(command.c_str()), 0);
        if (hadRuntime) setenv("XDG_RUNTIME_DIR", oldRuntime.c_str(), 1);
        else unsetenv("XDG_RUNTIME_DIR");
    }
    std::string folder, runtime, oldRuntime;
    bool hadRuntime = false;
};

TEST_F(SingleInstance, SecondHolderIsRefusedUntilTheFirstReleases) {
    platform::InstanceLock first, second;
    ASSERT_TRUE(first.acquire(folder));
    EXPECT_FALSE(second.acquire(folder));
    EXPECT_FALSE(second.acquire(folder + "/."));  // the same folder named differently
    EXPECT_TRUE(second.failureReason().empty()) << second.failureReason();
    first.release();
    EXPECT_TRUE(second.acquire(folder));
}

// The game path resolution finds a folder in any letter case, so the lock
// must too.
TEST_F(SingleInstance, TheFolderInAnotherLetterCaseIsTheSameGame) {
    std::string game = folder + "/Game";
    ASSERT_EQ(mkdir(game.c_str(), 0700), 0);
    platform::InstanceLock first, second;
    ASSERT_TRUE(first.acquire(game));
    EXPECT_FALSE(second.acquire(folder + "/GAME"));
    EXPECT_EQ(platform::InstanceLock::lockPath(folder + "/game"), platform::InstanceLock::lockPath(game));
    first.release();
    rmdir(game.c_str());
}

TEST_F(SingleInstance, LockFilesLiveInTheRuntimeFolderAndGoAtRelease) {
    std::string file = platform::InstanceLock::lockPath(folder);
    EXPECT_EQ(file.rfind(runtime + "/", 0), 0u) << file;
    {
        platform::InstanceLock lock;
        ASSERT_TRUE(lock.acquire(folder));
        EXPECT_EQ(access(file.c_str(), F_OK), 0);
    }
    EXPECT_NE(access(file.c_str(), F_OK), 0);

    // Without a runtime folder, a private folder of the user's own.
    unsetenv("XDG_RUNTIME_DIR");
    std::string fallback = platform::InstanceLock::lockFolder();
    EXPECT_EQ(fallback, "/tmp/tesserae-" + std::to_string(getuid()));
    struct stat st {};
    ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, getuid());
}

// Anyone may create the shared /tmp name first. A folder there that is
// not this user's private one sends the locks to the user's cache folder,
// so another user cannot keep this one's games from starting.
TEST_F(SingleInstance, ASquattedSharedFolderFallsBackToTheUsersOwn) {
    const std::string temp = runtime + "/tmp", cache = runtime + "/cache";
    ASSERT_EQ(mkdir(temp.c_str(), 0777), 0);
    const std::string shared = temp + "/tesserae-" + std::to_string(getuid());
    const std::string own = cache + "/tesserae/locks-" + std::to_string(getuid());
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);  // open to everyone: not private
    EXPECT_EQ(platform::InstanceLock::lockFolder(nullptr, temp, cache), own);
    struct stat st {};
    ASSERT_EQ(lstat(own.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    if (getuid() == 0) {
        // Private, but another user's.
        ASSERT_EQ(chmod(shared.c_str(), 0700), 0);
        ASSERT_EQ(chown(shared.c_str(), 65534, 65534), 0);
        EXPECT_EQ(platform::InstanceLock::lockFolder(nullptr, temp, cache), own);
    }
    // The user's own shared folder is still the first choice.
    ASSERT_EQ(rmdir(shared.c_str()), 0);
    EXPECT_EQ(platform::InstanceLock::lockFolder(nullptr, temp, cache), shared);
    EXPECT_EQ(platform::InstanceLock::lockFolder(nullptr, temp + "/missing", ""), "");
}

// What others plant at the lock's name neither redirects the host nor
// passes for a running copy: the lock is refused with its reason.
TEST_F(SingleInstance, PlantedLockFilesAreRefusedWithTheReason) {
    std::string file = platform::InstanceLock::lockPath(folder);
    std::string victim = runtime + "/victim";
    ASSERT_EQ(symlink(victim.c_str(), file.c_str()), 0);
    platform::InstanceLock lock;
    EXPECT_FALSE(lock.acquire(folder));
    EXPECT_NE(lock.failureReason().find("symbolic link"), std::string::npos) << lock.failureReason();
    EXPECT_NE(access(victim.c_str(), F_OK), 0);
    unlink(file.c_str());

    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    EXPECT_FALSE(lock.acquire(folder));
    EXPECT_NE(lock.failureReason().find("not a regular file of this user"), std::string::npos);
    unlink(file.c_str());

    if (getuid() == 0) {
        int planted = open(file.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(planted, 0);
        ASSERT_EQ(fchown(planted, 65534, 65534), 0);
        close(planted);
        EXPECT_FALSE(lock.acquire(folder));
        EXPECT_NE(lock.failureReason().find("not a regular file of this user"), std::string::npos);
        unlink(file.c_str());
    }
}

TEST_F(SingleInstance, OtherFoldersAreIndependent) {
    char pattern[] = "/tmp/tesserae-lock-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string other = pattern;
    platform::InstanceLock a, b;
    EXPECT_TRUE(a.acquire(folder));
    EXPECT_TRUE(b.acquire(other));
    b.release();
    unlink(platform::InstanceLock::lockPath(other).c_str());
    rmdir(other.c_str());
}

TEST_F(SingleInstance, LockIsFreeAfterTheHolderDies) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::InstanceLock lock;
        char ok = lock.acquire(folder) ? 1 : 0;
        if (write(ready[1], &ok, 1) != 1) _exit(2);
        pause();  // killed below, never releasing the lock itself
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 1);
    platform::InstanceLock mine;
    EXPECT_FALSE(mine.acquire(folder));  // held by the child
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(mine.acquire(folder));
    close(ready[0]);
    close(ready[1]);
}

}  // namespace
