#include "ui/sound_player.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace hs::ui {
namespace {

constexpr QEvent::Type kRunSounds = QEvent::Type(QEvent::User + 32);
// Our sounds last well under a second. A device that vanishes mid-sound can
// leave an effect reporting "playing" for ever; past this it counts as done.
constexpr auto kLongestSound = std::chrono::seconds(3);

}  // namespace

QtSoundOutput::QtSoundOutput(QObject* parent) : QObject(parent), devices_(new QMediaDevices(this)) {
  hasOutput_ = !QMediaDevices::audioOutputs().isEmpty();
  connect(devices_, &QMediaDevices::audioOutputsChanged, this,
          [this] { hasOutput_ = !QMediaDevices::audioOutputs().isEmpty(); });
}

QtSoundOutput::~QtSoundOutput() = default;

void QtSoundOutput::Play(const std::string& path) {
  bool post;
  {
    std::lock_guard g(lock_);
    requests_.push_back({false, path});
    post = !wakePosted_;
    wakePosted_ = true;
  }
  if (post) QCoreApplication::postEvent(this, new QEvent(kRunSounds));
}

void QtSoundOutput::Stop() {
  bool post;
  {
    std::lock_guard g(lock_);
    requests_.push_back({true, {}});
    post = !wakePosted_;
    wakePosted_ = true;
  }
  if (post) QCoreApplication::postEvent(this, new QEvent(kRunSounds));
}

bool QtSoundOutput::event(QEvent* e) {
  if (e->type() != kRunSounds) return QObject::event(e);
  RunRequests();
  return true;
}

bool QtSoundOutput::Playing() const {
  return current_ && current_->isPlaying() && std::chrono::steady_clock::now() - currentStart_ < kLongestSound;
}

void QtSoundOutput::Preload(const std::string& directory) {
  if (!hasOutput_) return;
  for (const char* name : {"start.wav", "timeout.wav", "error.wav", "failure.wav", "done.wav", "tracecomplete.wav"}) {
    const QString path = QString::fromStdString(directory + "/" + name);
    if (QFileInfo::exists(path)) EffectFor(path);
  }
}

QSoundEffect* QtSoundOutput::EffectFor(const QString& path) {
  auto it = effects_.find(path);
  if (it != effects_.end()) return it->second;
  auto* effect = new QSoundEffect(this);
  effect->setSource(QUrl::fromLocalFile(path));
  effects_.emplace(path, effect);
  return effect;
}

void QtSoundOutput::RunRequests() {
  std::deque<Request> requests;
  {
    std::lock_guard g(lock_);
    requests.swap(requests_);
    wakePosted_ = false;
  }
  for (const Request& r : requests) {
    if (r.stop) {
      if (current_) current_->stop();
      current_ = nullptr;
      continue;
    }
    if (Playing()) {
      ++dropped_;
      continue;
    }
    const QString path = QString::fromStdString(r.path);
    // A missing file plays nothing, and no sound at all without an output.
    if (!hasOutput_ || !QFileInfo::exists(path)) continue;
    current_ = EffectFor(path);
    currentStart_ = std::chrono::steady_clock::now();
    current_->play();
    ++started_;
  }
}

}  // namespace hs::ui
