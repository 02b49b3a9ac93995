// The panel's border stays crisp at every device pixel ratio, the sounds are
// written as the WAV layout says and start and end without a click, and the
// player stays silent without an audio output.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "synth.h"
#include "ui/skin.h"
#include "ui/sound_player.h"
#include "wav.h"

namespace hs::ui {
namespace {

TEST(Skin, EveryPieceIsDrawnAtItsDevicePixelSizeAndTheBorderLineInWholePixels) {
  const int pieces[] = {15001, 15002, 15003, 15004, 15005, 15006, 15007, 15008, 15016, 15017, 15018,
                        15019, 15020, 15021, 15022, 15023, 15027, 15028, 15029, 15041, 15042};
  for (qreal ratio : {1.0, 1.5, 2.0}) {
    Skin skin(QPalette(), ratio);
    for (int id : pieces) {  // drawn for the screen, so never scaled
      EXPECT_EQ(skin.Piece(id).size(), Skin::LogicalSize(id) * ratio) << id << " at " << ratio;
      EXPECT_EQ(skin.Piece(id).devicePixelRatio(), ratio);
    }
    const QImage top = skin.Piece(kTopEdge).toImage();
    const int hair = std::max(1, int(std::floor(ratio)));
    const QRgb line = top.pixel(0, top.height() - 1);
    const QRgb frame = top.pixel(0, 0);
    EXPECT_NE(line, frame);
    for (int y = 0; y < top.height(); ++y)
      EXPECT_EQ(top.pixel(0, y), y >= top.height() - hair ? line : frame) << "row " << y << " at " << ratio;
  }
}

TEST(Wav, HeaderAndSamplesAreLittleEndianPcm) {
  const std::string bytes = sounds::WavFile({1, -2}, 8000);
  const std::string expected(
      "RIFF\x28\x00\x00\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x01\x00\x40\x1f\x00\x00\x80\x3e\x00\x00"
      "\x02\x00\x10\x00" "data\x04\x00\x00\x00\x01\x00\xfe\xff",
      48);
  EXPECT_EQ(bytes, expected);
}

TEST(Sounds, EachIsShortAudibleAndStartsAndEndsWithoutAClick) {
  for (std::string_view name : sounds::kSoundNames) {
    const std::vector<int16_t> s = sounds::SynthesiseSound(name);
    ASSERT_GT(s.size(), sounds::kSampleRate / 50) << name;
    EXPECT_LT(s.size(), sounds::kSampleRate) << name;  // under a second
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs(int(v)));
    EXPECT_GT(peak, 3000) << name;
    EXPECT_LT(peak, 32000) << name;
    EXPECT_LT(std::abs(int(s.front())), 300) << name;
    EXPECT_LT(std::abs(int(s.back())), 300) << name;
  }
  EXPECT_TRUE(sounds::SynthesiseSound("nothing.wav").empty());
}

TEST(QtSoundOutput, WithoutAnAudioOutputNothingPlaysAndNothingStaysPlaying) {
  QTemporaryDir dir;
  const std::string path = dir.path().toStdString() + "/start.wav";
  {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const std::string bytes = sounds::WavFile(sounds::SynthesiseSound("start.wav"), sounds::kSampleRate);
    f.write(bytes.data(), qint64(bytes.size()));
  }
  QtSoundOutput out;
  out.SetHasOutput(false);
  out.Play(path);
  out.Play(path);
  QCoreApplication::processEvents();
  EXPECT_EQ(out.Started(), 0);
  EXPECT_FALSE(out.Playing());

  // With an output, a missing file plays nothing either.
  out.SetHasOutput(true);
  out.Play(dir.path().toStdString() + "/missing.wav");
  QCoreApplication::processEvents();
  EXPECT_EQ(out.Started(), 0);
  EXPECT_FALSE(out.Playing());
}

}  // namespace
}  // namespace hs::ui
