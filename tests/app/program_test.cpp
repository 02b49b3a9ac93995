// What hopsight-trace loads at start and saves at exit, and what it tells the
// user about it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/program_files.h"
#include "platform/clock.h"
#include "platform/resolver.h"
#include "tests/config/temp_dir.h"

namespace hs::cli {
namespace {

using ::testing::HasSubstr;

int syncs = 0;
int CountingSync(int) { return ++syncs, 0; }

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::string WithHome(config::Settings s) {
  s.startLocation = GeoLocation{LocationSource::Home, 48.1, 11.5, 130};
  return config::FormatSettings(s, false);
}

TEST(ProgramFiles, ARunThatChangesNothingWritesNothing) {
  testing::TempDir dir;
  testing::WriteFile(config::SettingsPath(dir.path()), WithHome({}));
  {
    ProgramFiles first(dir.path());
    first.LoadAtStart();
    first.caches.names.Insert(platform::DottedToAddress("198.18.0.1"), "r1.example", platform::CalendarTime());
    first.SaveAtExit();
    EXPECT_TRUE(first.TakeMessages().empty());
  }
  const ino_t settings = Inode(config::SettingsPath(dir.path()));
  const ino_t caches = Inode(config::CacheFilePath(dir.path()));
  const platform::SyncFunction previous = platform::SetSyncFunction(CountingSync);
  syncs = 0;
  ProgramFiles second(dir.path());
  second.LoadAtStart();
  EXPECT_EQ(second.caches.names.Find(platform::DottedToAddress("198.18.0.1")), "r1.example");
  second.SaveAtExit();
  platform::SetSyncFunction(previous);
  EXPECT_EQ(syncs, 0);
  EXPECT_EQ(Inode(config::SettingsPath(dir.path())), settings);
  EXPECT_EQ(Inode(config::CacheFilePath(dir.path())), caches);
}

TEST(ProgramFiles, ACacheFileOverTheLimitIsTrimmedAndSaidOnce) {
  testing::TempDir dir;
  {
    config::Caches grown;
    const int64_t now = platform::CalendarTime();
    for (uint32_t i = 0; i < 1500; ++i) grown.names.Insert(0x0A000000u + i, "n", now);
    testing::WriteFile(config::CacheFilePath(dir.path()), config::FormatCacheFile(grown));
  }
  ProgramFiles files(dir.path());
  files.LoadAtStart();
  EXPECT_EQ(files.caches.names.Size(), 1000u);
  std::vector<std::string> told = files.TakeMessages();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_THAT(told[0], HasSubstr("dropped 500 names, 0 WhoIs answers and 0 locations"));
  EXPECT_THAT(told[0], HasSubstr(config::CacheFilePath(dir.path())));
  // The trim at exit is the everyday one: nothing more is said.
  files.caches.names.Insert(0x0B000000u, "new", platform::CalendarTime());
  files.SaveAtExit();
  EXPECT_TRUE(files.TakeMessages().empty());
}

TEST(ProgramFiles, FilesThatCannotBeReadAreLeftAsTheyAre) {
  testing::TempDir dir;
  const std::string settings = config::SettingsPath(dir.path()), caches = config::CacheFilePath(dir.path());
  const std::string mySettings = WithHome({}), myCaches = "[dns]\ncount=0\n";
  testing::WriteFile(settings, mySettings);
  testing::WriteFile(caches, myCaches);
  ::chmod(settings.c_str(), 0200);
  ::chmod(caches.c_str(), 0200);
  const int result = testing::RunWhereModesApply(dir.path(), [&] {
    ProgramFiles files(dir.path());
    files.LoadAtStart();
    files.caches.names.Insert(1, "new", platform::CalendarTime());
    files.SaveAtExit();
    const std::vector<std::string> told = files.TakeMessages();
    if (told.size() != 2) return 1;
    if (told[0] != "settings not read (defaults used, the file is left as it is): cannot read " + settings +
                       ": Permission denied")
      return 2;
    if (told[1] != "lookup caches not read (the file is left as it is): cannot read " + caches +
                       ": Permission denied")
      return 3;
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(testing::ReadFile(settings), mySettings);
  EXPECT_EQ(testing::ReadFile(caches), myCaches);
}

}  // namespace
}  // namespace hs::cli
