// The status line with its progress position, and the trace sounds.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "trace/collaborators.h"

namespace hs {

class StatusLine {
 public:
  explicit StatusLine(StatusDisplay* display = nullptr) : display_(display) {}
  void SetDisplay(StatusDisplay* display);

  // Shows `text` (nullopt: the last text again) and moves the progress bar.
  // Position -1 keeps the last position; 0 resets; a positive position below
  // the highest one shows the highest, so the bar never moves back.
  void SetStatus(std::optional<std::string> text, int position);

  std::string LastText() const;
  int LastPosition() const;
  int ShownPosition() const;

 private:
  mutable std::mutex lock_;
  StatusDisplay* display_;
  std::string lastText_;
  int lastPosition_ = 0;
  int highestPosition_ = 0;
  int shownPosition_ = 0;
};

class TraceSounds {
 public:
  TraceSounds(SoundOutput* output = nullptr, std::string soundDirectory = {})
      : output_(output), directory_(std::move(soundDirectory)) {}
  void SetOutput(SoundOutput* output, std::string soundDirectory);

  // The "sound=" setting.
  void SetEnabled(bool on) { enabled_.store(on); }
  bool Enabled() const { return enabled_.load(); }

  void PlayTraceSound(std::string_view file);

 private:
  std::mutex lock_;
  SoundOutput* output_;
  std::string directory_;
  std::atomic<bool> enabled_{true};
};

}  // namespace hs
