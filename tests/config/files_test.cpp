#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/files.h"
#include "tests/config/temp_dir.h"

namespace hs::platform {
namespace {

size_t FilesIn(const std::string& dir) {
  size_t n = 0;
  for (auto& e : std::filesystem::directory_iterator(dir)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

TEST(ReplaceFileAtomically, WritesTheContentAndLeavesNoTemporary) {
  testing::TempDir dir;
  const std::string path = dir.File("a.ini");
  ASSERT_TRUE(ReplaceFileAtomically(path, "first\n"));
  ASSERT_TRUE(ReplaceFileAtomically(path, std::string("second\0bytes\n", 13)));
  EXPECT_EQ(ReadWholeFile(path), std::string("second\0bytes\n", 13));
  EXPECT_EQ(FilesIn(dir.path()), 1u);
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

TEST(ReadWholeFile, AMissingFileIsNone) {
  testing::TempDir dir;
  EXPECT_FALSE(ReadWholeFile(dir.File("none")));
}

TEST(SharedFile, OpeningCreatesAnAbsentFileEmpty) {
  testing::TempDir dir;
  auto f = SharedFile::Open(dir.File("x.idx"), SharedFile::Access::Read);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Size(), 0);
  EXPECT_TRUE(std::filesystem::exists(dir.File("x.idx")));
  EXPECT_FALSE(SharedFile::Open(dir.File("no/such/dir"), SharedFile::Access::Read));
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

TEST(SharedFile, ADeniedOpenWaitsBetweenItsFiveAttempts) {
  testing::TempDir dir;
  const std::string path = dir.File("x.ent");
  auto w = SharedFile::Open(path, SharedFile::Access::Write);
  ASSERT_TRUE(w);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(SharedFile::Open(path, SharedFile::Access::Read));
  // Four waits of at least 50 ms each lie between the five attempts.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
}

TEST(SharedFile, AnOpenSucceedsWhenTheLockIsReleasedDuringItsRetries) {
  testing::TempDir dir;
  const std::string path = dir.File("x.ent");
  auto w = SharedFile::Open(path, SharedFile::Access::Write);
  ASSERT_TRUE(w);
  std::thread releaser([&w] {
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    w->Close();
  });
  auto r = SharedFile::Open(path, SharedFile::Access::Read);
  releaser.join();
  EXPECT_TRUE(r);
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
