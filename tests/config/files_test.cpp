#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "tests/config/temp_dir.h"

namespace hs::platform {
namespace {

size_t FilesIn(const std::string& dir) {
  size_t n = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

TEST(ReplaceFileAtomically, AFullDiskMidWriteKeepsTheOldFile) {
  testing::TempDir dir;
  const std::string path = dir.File("a.ini");
  const std::string old(10000, 'o');
  ASSERT_TRUE(ReplaceFileAtomically(path, old));
  // A child process whose files may not grow past 4 KiB stands in for a full
  // disk: its write fails half-way.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(ReplaceFileAtomically(path, std::string(20000, 'n')) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save should have failed";
  EXPECT_EQ(ReadWholeFile(path), old);
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

// What the sync hook saw: for each call, whether the descriptor was a
// directory and what the replaced file held at that moment.
struct SyncCall {
  bool directory = false;
  std::string synced;  // a file's content
  std::string target;  // the target file's content at the time
};
std::vector<SyncCall> syncCalls;
std::string syncTarget;
int syncError = 0;  // when set, the hook fails with it

int RecordingSync(int fd) {
  struct stat st {};
  ::fstat(fd, &st);
  SyncCall call;
  call.directory = S_ISDIR(st.st_mode);
  if (!call.directory) call.synced = ReadWholeFile("/proc/self/fd/" + std::to_string(fd)).value_or("?");
  call.target = ReadWholeFile(syncTarget).value_or("(none)");
  syncCalls.push_back(call);
  if (syncError != 0) {
    errno = syncError;
    return -1;
  }
  return 0;
}

class WatchedSyncs : public ::testing::Test {
 protected:
  void SetUp() override {
    syncCalls.clear();
    syncError = 0;
    syncTarget = dir.File("a.ini");
    previous_ = SetSyncFunction(RecordingSync);
  }
  void TearDown() override { SetSyncFunction(previous_); }
  testing::TempDir dir;

 private:
  SyncFunction previous_ = nullptr;
};

TEST_F(WatchedSyncs, AReplaceSyncsTheNewFileBeforeTheRenameAndTheDirectoryAfterIt) {
  ASSERT_TRUE(ReplaceFileAtomically(syncTarget, "old\n"));
  syncCalls.clear();
  FileResult result = ReplaceFileAtomically(syncTarget, "new\n");
  EXPECT_TRUE(result.ok && result.changed);
  ASSERT_EQ(syncCalls.size(), 2u);
  EXPECT_FALSE(syncCalls[0].directory);
  EXPECT_EQ(syncCalls[0].synced, "new\n");
  EXPECT_EQ(syncCalls[0].target, "old\n");  // not yet renamed
  EXPECT_TRUE(syncCalls[1].directory);
  EXPECT_EQ(syncCalls[1].target, "new\n");
}

TEST_F(WatchedSyncs, EqualBytesAreNotWrittenAgain) {
  ASSERT_TRUE(ReplaceFileAtomically(syncTarget, "same\n"));
  struct stat before {};
  ASSERT_EQ(::stat(syncTarget.c_str(), &before), 0);
  syncCalls.clear();
  FileResult result = ReplaceFileAtomically(syncTarget, "same\n");
  EXPECT_TRUE(result.ok);
  EXPECT_FALSE(result.changed);
  EXPECT_TRUE(syncCalls.empty());
  struct stat after {};
  ASSERT_EQ(::stat(syncTarget.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  // One byte different, same length: written.
  EXPECT_TRUE(ReplaceFileAtomically(syncTarget, "sane\n").changed);
  EXPECT_EQ(ReadWholeFile(syncTarget), "sane\n");
  EXPECT_TRUE(ReplaceFileAtomically(syncTarget, "sane\n\n").changed);
}

TEST_F(WatchedSyncs, AFailedSyncKeepsTheOldFileAndSaysSo) {
  ASSERT_TRUE(ReplaceFileAtomically(syncTarget, "old\n"));
  syncError = EIO;
  FileResult result = ReplaceFileAtomically(syncTarget, "new\n");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error.path, syncTarget);
  EXPECT_EQ(result.error.action, "sync");
  EXPECT_EQ(result.error.code, EIO);
  EXPECT_EQ(ReadWholeFile(syncTarget), "old\n");
  EXPECT_EQ(FilesIn(dir.path()), 1u);
}

// An immutable file (root only, on file systems that have the flag).
TEST(ReplaceFileAtomically, AFailedRenameNamesTheStepAndTheReason) {
  testing::TempDir dir;
  const std::string locked = dir.File("locked.ini");
  ASSERT_TRUE(ReplaceFileAtomically(locked, "old"));
  if (std::system(("chattr +i " + locked + " 2>/dev/null").c_str()) != 0) GTEST_SKIP() << "no chattr +i here";
  FileResult result = ReplaceFileAtomically(locked, "new");
  std::system(("chattr -i " + locked).c_str());
  EXPECT_FALSE(result);
  EXPECT_EQ(result.error.action, "replace");
  EXPECT_EQ(result.error.code, EPERM);
  EXPECT_EQ(ReadWholeFile(locked), "old");
  EXPECT_EQ(FilesIn(dir.path()), 1u);  // no temporary left
}

TEST(ReadWholeFile, SaysWhyAFileCannotBeRead) {
  testing::TempDir dir;
  FileError error;
  EXPECT_FALSE(ReadWholeFile(dir.File("none"), &error));
  EXPECT_TRUE(error.Missing());
  EXPECT_FALSE(ReadWholeFile(dir.path(), &error));
  EXPECT_EQ(error.Describe(), "cannot read " + dir.path() + ": Is a directory");
}

TEST(SharedFile, ReadersShareAndAWriterIsAlone) {
  testing::TempDir dir;
  const std::string path = dir.File("x.idx");
  auto r1 = SharedFile::Open(path, SharedFile::Access::Read);
  auto r2 = SharedFile::Open(path, SharedFile::Access::Read, 1);
  ASSERT_TRUE(r1 && r2);
  EXPECT_FALSE(SharedFile::Open(path, SharedFile::Access::Write, 1));
  r1->Close();
  r2->Close();
  auto w = SharedFile::Open(path, SharedFile::Access::Write, 1);
  ASSERT_TRUE(w);
  EXPECT_FALSE(SharedFile::Open(path, SharedFile::Access::Read, 1));
  EXPECT_FALSE(SharedFile::Open(path, SharedFile::Access::Write, 1));
}

// The waits between attempts, as the retry-wait hook sees them; the first
// one may let the lock go.
std::vector<uint32_t> retryWaits;
std::optional<SharedFile>* heldUntilFirstWait = nullptr;

void RecordingRetryWait(uint32_t ms) {
  retryWaits.push_back(ms);
  if (heldUntilFirstWait) heldUntilFirstWait->reset();
}

TEST(SharedFile, ADeniedOpenWaitsBetweenItsFiveAttemptsAndTakesALockReleasedMeanwhile) {
  testing::TempDir dir;
  const std::string path = dir.File("x.ent");
  const RetryWaitFunction previous = SetRetryWaitFunction(RecordingRetryWait);
  std::optional<SharedFile> w = SharedFile::Open(path, SharedFile::Access::Write);
  ASSERT_TRUE(w);
  retryWaits.clear();
  EXPECT_FALSE(SharedFile::Open(path, SharedFile::Access::Read));
  ASSERT_EQ(retryWaits.size(), 4u) << "four waits lie between the five attempts";
  for (uint32_t ms : retryWaits) EXPECT_TRUE(ms >= 50 && ms < 100) << ms;

  retryWaits.clear();
  heldUntilFirstWait = &w;
  EXPECT_TRUE(SharedFile::Open(path, SharedFile::Access::Read));
  heldUntilFirstWait = nullptr;
  EXPECT_EQ(retryWaits.size(), 1u);
  SetRetryWaitFunction(previous);
}

TEST(SharedFile, ReadsAndWritesAtOffsets) {
  testing::TempDir dir;
  auto f = SharedFile::Open(dir.File("x"), SharedFile::Access::Write);
  ASSERT_TRUE(f);
  ASSERT_TRUE(f->WriteAt(4, "abcd", 4));
  EXPECT_EQ(f->Size(), 8);
  char buffer[16] = {};
  EXPECT_EQ(f->ReadAt(2, buffer, sizeof buffer), 6);
  EXPECT_EQ(std::string(buffer, 6), std::string("\0\0abcd", 6));
}

}  // namespace
}  // namespace hs::platform
