// The status line's progress rules and the sound switch.
#include <gtest/gtest.h>

#include "scripted.h"
#include "trace/status.h"

namespace hs::test {
namespace {

TEST(StatusLineTest, BarNeverMovesBackUntilReset) {
  RecordingStatus display;
  StatusLine line(&display);
  line.SetStatus(std::string("a"), 5);
  line.SetStatus(std::string("b"), 8);
  line.SetStatus(std::string("c"), 7);
  line.SetStatus(std::string("d"), 0);
  line.SetStatus(std::string("e"), 3);
  std::vector<int> positions;
  for (auto& s : display.Shown()) positions.push_back(s.second);
  EXPECT_EQ(positions, (std::vector<int>{5, 8, 8, 0, 3}));
}

TEST(StatusLineTest, MinusOneKeepsPositionAndMissingTextRepeatsLast) {
  RecordingStatus display;
  StatusLine line(&display);
  line.SetStatus(std::string("Pinging node #4"), 11);
  line.SetStatus(std::nullopt, -1);
  EXPECT_EQ(display.Shown().back(), std::make_pair(std::string("Pinging node #4"), 11));
  EXPECT_EQ(line.LastPosition(), 11);
}

TEST(TraceSoundsTest, PlaysFromSoundDirectoryOnlyWhenEnabled) {
  class Paths : public SoundOutput {
   public:
    void Play(const std::string& path) override { played.push_back(path); }
    void Stop() override { ++stops; }
    std::vector<std::string> played;
    int stops = 0;
  } out;
  TraceSounds sounds(&out, "/opt/hopsight/data/sound");
  sounds.PlayTraceSound("start.wav");
  sounds.SetEnabled(false);
  sounds.PlayTraceSound("error.wav");
  ASSERT_EQ(out.played, std::vector<std::string>{"/opt/hopsight/data/sound/start.wav"});
  EXPECT_EQ(out.stops, 1);  // a sound still playing is stopped first
}

}  // namespace
}  // namespace hs::test

#include "trace/hop_cells.h"

namespace hs::test {
namespace {

TEST(HopCellsTest, RoundTripShownOnlyForAnsweredHops) {
  HopRef row = HopRef::Create();
  row->address = Ip("198.18.1.1");
  row->lastRtt = 12;
  row->sentCount = 1;
  EXPECT_EQ(HopCellText(*row, HopColumn::RoundTrip), "12 ");
  row->droppedCount = 1;  // every probe dropped
  EXPECT_EQ(HopCellText(*row, HopColumn::RoundTrip), "-- ");
  row->droppedCount = 0;
  row->lastRtt = kNoTime;
  EXPECT_EQ(HopCellText(*row, HopColumn::RoundTrip), "-- ");
  HopRef silent = HopRef::Create();
  EXPECT_EQ(HopCellText(*silent, HopColumn::Address), "-----");
  EXPECT_EQ(HopCellText(*silent, HopColumn::Name), "-----");
  silent->hopNumber = 4;
  EXPECT_EQ(HopCellText(*silent, HopColumn::Number), "5");
}

TEST(HopCellsTest, NetworkCellPrefersFirstLineThatNamesTheNetwork) {
  const std::string withEnd = "Example Org (NET-EXAMPLE-1)\nmore";
  EXPECT_EQ(NetworkCellText(&withEnd, "NET-EXAMPLE-1"), "Example Org ");
  const std::string noEnd = "Example Org (NET-EXAMPLE-1)";
  EXPECT_EQ(NetworkCellText(&noEnd, "NET-EXAMPLE-1"), "NET-EXAMPLE-1");
  const std::string startsWithName = "NET-EXAMPLE-1 rest\n";
  EXPECT_EQ(NetworkCellText(&startsWithName, "NET-EXAMPLE-1"), "NET-EXAMPLE-1");
  EXPECT_EQ(NetworkCellText(&withEnd, ""), "-----");
  EXPECT_EQ(NetworkCellText(nullptr, "NET-X"), "NET-X");
}

}  // namespace
}  // namespace hs::test
