// The trace sounds through Qt Multimedia. The engine asks from its own
// threads; the requests are queued and played on the window's thread. A
// sound asked for while another plays is dropped. Without an audio output
// nothing is played at all, so nothing can hang or stay "playing".
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "trace/collaborators.h"

class QSoundEffect;
class QMediaDevices;

namespace hs::ui {

class QtSoundOutput final : public QObject, public SoundOutput {
 public:
  explicit QtSoundOutput(QObject* parent = nullptr);
  ~QtSoundOutput() override;

  void Play(const std::string& path) override;
  void Stop() override;

  // Loads the files ahead of the first trace (they load asynchronously).
  void Preload(const std::string& directory);
  bool HasOutput() const { return hasOutput_; }
  // Window thread: whether a sound of ours plays now.
  bool Playing() const;
  // Requests dropped because a sound was playing, and sounds started.
  int Dropped() const { return dropped_; }
  int Started() const { return started_; }
  // For tests: pretend the audio outputs changed.
  void SetHasOutput(bool has) { hasOutput_ = has; }

 protected:
  bool event(QEvent* e) override;

 private:
  struct Request {
    bool stop = false;
    std::string path;
  };
  void RunRequests();
  QSoundEffect* EffectFor(const QString& path);

  std::mutex lock_;
  std::deque<Request> requests_;
  bool wakePosted_ = false;

  QMediaDevices* devices_ = nullptr;
  bool hasOutput_ = false;
  std::map<QString, QSoundEffect*> effects_;
  QSoundEffect* current_ = nullptr;
  std::chrono::steady_clock::time_point currentStart_{};
  int dropped_ = 0;
  int started_ = 0;
};

}  // namespace hs::ui
