#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/instance_lock.h"

namespace {

class SingleInstance : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tesserae-lock-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        unlink(platform::InstanceLock::lockPath(folder).c_str());
        rmdir(folder.c_str());
    }
    std::string folder;
};

TEST_F(SingleInstance, SecondHolderIsRefusedUntilTheFirstReleases) {
    platform::InstanceLock first, second;
    ASSERT_TRUE(first.acquire(folder));
    EXPECT_FALSE(second.acquire(folder));
    EXPECT_FALSE(second.acquire(folder + "/."));  // the same folder named differently
    first.release();
    EXPECT_TRUE(second.acquire(folder));
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
