// What both programs load at start and save at exit, what they tell the user
// about it, the lookups they hand the trace, and where their directory is.
#include "app/program.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/program_dir.h"
#include "platform/clock.h"
#include "platform/resolver.h"
#include "tests/config/temp_dir.h"

namespace hs::app {
namespace {

using ::testing::HasSubstr;
namespace fs = std::filesystem;

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

// A start of hopsight-trace: everything loaded, no wizard.
void LoadAll(Program& program) {
  config::NoHomeLocationWizard wizard;
  program.LoadServerList();
  program.LoadSettings(wizard, false);
  program.LoadLookupData(nullptr);
}

void SaveAll(Program& program) {
  program.StopLookups();
  program.SaveFiles();
  program.SaveServerList();
}

TEST(Program, ARunThatChangesNothingWritesNothing) {
  testing::TempDir dir;
  testing::WriteFile(config::SettingsPath(dir.path()), WithHome({}));
  {
    Program first(dir.path());
    LoadAll(first);
    first.Caches().names.Insert(platform::DottedToAddress("198.18.0.1"), "r1.example", platform::CalendarTime());
    SaveAll(first);
    EXPECT_TRUE(first.TakeMessages().empty());
  }
  const ino_t settings = Inode(config::SettingsPath(dir.path()));
  const ino_t caches = Inode(config::CacheFilePath(dir.path()));
  const ino_t servers = Inode(geo::ServerListPath(dir.path()));
  ASSERT_NE(servers, 0u) << "the location server list is written at exit";
  const platform::SyncFunction previous = platform::SetSyncFunction(CountingSync);
  syncs = 0;
  Program second(dir.path());
  LoadAll(second);
  EXPECT_EQ(second.Caches().names.Find(platform::DottedToAddress("198.18.0.1")), "r1.example");
  SaveAll(second);
  platform::SetSyncFunction(previous);
  EXPECT_EQ(syncs, 0);
  EXPECT_EQ(Inode(config::SettingsPath(dir.path())), settings);
  EXPECT_EQ(Inode(config::CacheFilePath(dir.path())), caches);
  EXPECT_EQ(Inode(geo::ServerListPath(dir.path())), servers);
}

TEST(Program, WhatWasNotLoadedIsNotSaved) {
  // /H loads the settings only: the caches and user locations on disk stay.
  testing::TempDir dir;
  const std::string cacheText = "[dns]\ncount=0\n", userText = "count=1\n198.18.*=1.50,2.50,200\n";
  testing::WriteFile(config::CacheFilePath(dir.path()), cacheText);
  testing::WriteFile(dir.File("HopLoc.ini"), userText);
  {
    Program home(dir.path());
    config::NoHomeLocationWizard wizard;
    home.LoadServerList();
    home.LoadSettings(wizard, true);
    home.SetHome(GeoLocation{LocationSource::Home, 45, 7, 240});
    SaveAll(home);
  }
  EXPECT_EQ(testing::ReadFile(config::CacheFilePath(dir.path())), cacheText);
  EXPECT_EQ(testing::ReadFile(dir.File("HopLoc.ini")), userText);
  EXPECT_THAT(testing::ReadFile(config::SettingsPath(dir.path())), HasSubstr("start location=2,45.000000,7.000000,240"));
}

TEST(Program, ACacheFileOverTheLimitIsTrimmedAndSaidOnce) {
  testing::TempDir dir;
  {
    config::Caches grown;
    const int64_t now = platform::CalendarTime();
    for (uint32_t i = 0; i < 1500; ++i) grown.names.Insert(0x0A000000u + i, "n", now);
    testing::WriteFile(config::CacheFilePath(dir.path()), config::FormatCacheFile(grown));
  }
  Program program(dir.path());
  LoadAll(program);
  EXPECT_EQ(program.Caches().names.Size(), 1000u);
  std::vector<std::string> told = program.TakeMessages();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_THAT(told[0], HasSubstr("dropped 500 names, 0 WhoIs answers and 0 locations"));
  EXPECT_THAT(told[0], HasSubstr(config::CacheFilePath(dir.path())));
  // The trim at exit is the everyday one: nothing more is said.
  program.Caches().names.Insert(0x0B000000u, "new", platform::CalendarTime());
  SaveAll(program);
  EXPECT_TRUE(program.TakeMessages().empty());
}

TEST(Program, FilesThatCannotBeReadAreLeftAsTheyAre) {
  testing::TempDir dir;
  const std::string settings = config::SettingsPath(dir.path()), caches = config::CacheFilePath(dir.path());
  const std::string mySettings = WithHome({}), myCaches = "[dns]\ncount=0\n";
  testing::WriteFile(settings, mySettings);
  testing::WriteFile(caches, myCaches);
  ::chmod(settings.c_str(), 0200);
  ::chmod(caches.c_str(), 0200);
  const int result = testing::RunWhereModesApply(dir.path(), [&] {
    Program program(dir.path());
    LoadAll(program);
    program.Caches().names.Insert(1, "new", platform::CalendarTime());
    SaveAll(program);
    const std::vector<std::string> told = program.TakeMessages();
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

TEST(Program, TheFirstStartRunsTheWizardOnceAndSavesItsHome) {
  struct CountingWizard : config::HomeLocationWizard {
    Program* program = nullptr;
    int runs = 0;
    void Run(config::Settings&) override {
      ++runs;
      program->SetHome(GeoLocation{LocationSource::Home, 51.5, -0.12, 130});
    }
  };
  testing::TempDir dir;
  for (int start = 0; start < 2; ++start) {
    Program program(dir.path());
    CountingWizard wizard;
    wizard.program = &program;
    program.LoadSettings(wizard, false);
    EXPECT_EQ(wizard.runs, start == 0 ? 1 : 0) << "start " << start;
    EXPECT_EQ(program.Home(), (GeoLocation{LocationSource::Home, 51.5, -0.12, 130}));
  }
}

TEST(ProgramLookups, PlaceHopsFromTheLocalSourcesOnly) {
  config::Caches caches;
  platform::SystemResolver resolver;
  geo::UserLocations user;
  user.Assign(geo::ParseUserLocations("count=1\n198.18.*=1.5,2.5,200\n"));
  ProgramLookups lookups(caches, resolver, geo::LocalSources{&user, &caches.locations, nullptr}, nullptr, nullptr);
  HopRef row = HopRef::Create();
  row->address = inet_addr("198.18.4.4");
  EXPECT_TRUE(lookups.LocateHop(*row));
  EXPECT_EQ(row->Location(), (GeoLocation{LocationSource::User, 1.5, 2.5, 200}));
  HopRef other = HopRef::Create();
  other->address = inet_addr("198.19.4.4");
  EXPECT_FALSE(lookups.LocateHop(*other));
  // Without a placer and WhoIs workers nothing goes to the network.
  EXPECT_FALSE(lookups.LocateRoute({row}, CancellationWatch{}));
  EXPECT_FALSE(lookups.LocateByWhoIs(*row));
}

// ------------------------------------------------------- the program's directory

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  testing::WriteFile(path, "x");
}

TEST(ProgramDirectory, AnInstalledProgramGetsAUserDirectorySeededWithLinks) {
  testing::TempDir tree;
  const std::string share = tree.File("usr/share/hopsight/");
  fs::create_directories(tree.File("usr/bin"));
  fs::create_directories(share + "maps");
  Touch(share + "help/index.htm");
  Touch(share + "data/RIR.idx");
  Touch(share + "data/sound/done.wav");
  const ProgramDirectoryChoice choice = ChooseProgramDirectory(tree.File("usr/bin"), tree.File("home/.local/share"));
  const std::string user = tree.File("home/.local/share/hopsight/");
  ASSERT_EQ(choice.directory, user);
  EXPECT_TRUE(choice.perUser);
  EXPECT_TRUE(choice.problem.empty()) << choice.problem;
  EXPECT_TRUE(fs::is_directory(user + "maps"));
  EXPECT_TRUE(fs::is_symlink(user + "maps"));
  EXPECT_TRUE(fs::exists(user + "help/index.htm"));
  EXPECT_TRUE(fs::is_directory(user + "data"));
  EXPECT_FALSE(fs::is_symlink(user + "data")) << "the data directory is the user's own, to write in";
  EXPECT_TRUE(fs::exists(user + "data/RIR.idx"));
  EXPECT_TRUE(fs::exists(user + "data/sound/done.wav"));

  // A later start leaves what the user has, and links what a new version ships.
  testing::WriteFile(user + "data/HopSight.ini", "mine");
  fs::remove(user + "data/RIR.idx");
  testing::WriteFile(user + "data/RIR.idx", "my own index");
  Touch(share + "data/hopsight.loca");
  const ProgramDirectoryChoice again = ChooseProgramDirectory(tree.File("usr/bin"), tree.File("home/.local/share"));
  EXPECT_EQ(again.directory, user);
  EXPECT_EQ(testing::ReadFile(user + "data/HopSight.ini"), "mine");
  EXPECT_EQ(testing::ReadFile(user + "data/RIR.idx"), "my own index");
  EXPECT_TRUE(fs::exists(user + "data/hopsight.loca"));
}

TEST(ProgramDirectory, AUserDirectoryThatCannotBeMadeIsSaid) {
  testing::TempDir tree;
  fs::create_directories(tree.File("bin"));
  testing::WriteFile(tree.File("home"), "a file where the data home should be");
  const ProgramDirectoryChoice choice = ChooseProgramDirectory(tree.File("bin"), tree.File("home"));
  EXPECT_TRUE(choice.perUser);
  EXPECT_THAT(choice.problem, HasSubstr(tree.File("home")));
}

}  // namespace
}  // namespace hs::app
