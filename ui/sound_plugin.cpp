// The trace sounds as a module loaded after the window is up: Qt Multimedia
// and the audio libraries behind it take longer to load than the rest of the
// program, and nothing needs them before the first trace sound.
#include <QCoreApplication>

#include "ui/sound_player.h"

extern "C" Q_DECL_EXPORT hs::SoundOutput* hopsight_make_sound_output(const char* soundDirectory) {
  auto* output = new hs::ui::QtSoundOutput(QCoreApplication::instance());  // lives as long as the application
  output->Preload(soundDirectory);
  return output;
}
