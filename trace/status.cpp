#include "trace/status.h"

#include <cstdio>
#include <vector>

namespace hs {

void StatusLine::SetDisplay(StatusDisplay* display) {
  std::lock_guard g(lock_);
  display_ = display;
}

void StatusLine::SetStatus(std::optional<std::string> text, int position) {
  std::string shownText;
  int shown;
  StatusDisplay* display;
  {
    std::lock_guard g(lock_);
    if (position == -1) position = lastPosition_;
    lastPosition_ = position;
    if (position == 0) {
      highestPosition_ = 0;
      shown = 0;
    } else if (position > 0 && position < highestPosition_) {
      shown = highestPosition_;
    } else {
      highestPosition_ = position;
      shown = position;
    }
    if (text) lastText_ = std::move(*text);
    shownText = lastText_;
    shownPosition_ = shown;
    display = display_;
  }
  if (display) display->ShowStatus(shownText, shown);
}

std::string StatusLine::LastText() const {
  std::lock_guard g(lock_);
  return lastText_;
}

int StatusLine::LastPosition() const {
  std::lock_guard g(lock_);
  return lastPosition_;
}

int StatusLine::ShownPosition() const {
  std::lock_guard g(lock_);
  return shownPosition_;
}

void TraceSounds::SetOutput(SoundOutput* output, std::string soundDirectory) {
  std::lock_guard g(lock_);
  output_ = output;
  directory_ = std::move(soundDirectory);
}

void TraceSounds::PlayTraceSound(std::string_view file) {
  if (!enabled_.load()) return;
  std::lock_guard g(lock_);
  if (!output_) return;
  output_->Stop();
  std::string path = directory_;
  if (!path.empty() && path.back() != '/') path += '/';
  path += file;
  output_->Play(path);
}

}  // namespace hs
