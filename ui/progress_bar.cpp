#include "ui/progress_bar.h"

#include <QPainter>
#include <QTimer>
#include <algorithm>

#include "ui/skin.h"

namespace hs::ui {

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent), timer_(new QTimer(this)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  timer_->setInterval(33);
  connect(timer_, &QTimer::timeout, this, [this] {
    phase_ = (phase_ + 3) % 200;
    update();
  });
}

void ProgressBar::SetValue(int value) {
  value = std::clamp(value, 0, 100);  // the bar's range stays 0 to 100
  if (value == value_) return;
  value_ = value;
  update();
}

void ProgressBar::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) timer_->start();
  else timer_->stop();
  update();
}

void ProgressBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const SkinColours c = SkinColours::From(palette());
  const QRectF track = QRectF(rect()).adjusted(0.5, 2.5, -0.5, -2.5);
  const qreal r = track.height() / 2;
  p.setPen(Qt::NoPen);
  p.setBrush(c.hairline);
  p.drawRoundedRect(track, r, r);
  p.setBrush(c.accent);
  if (busy_) {
    const qreal band = track.width() * 0.25;
    const qreal x = track.left() - band + (track.width() + band) * (phase_ / 200.0);
    p.setClipRect(track);
    p.drawRoundedRect(QRectF(x, track.top(), band, track.height()), r, r);
  } else if (value_ > 0) {
    const qreal w = std::max(track.height(), track.width() * value_ / 100.0);
    p.drawRoundedRect(QRectF(track.left(), track.top(), w, track.height()), r, r);
  }
}

}  // namespace hs::ui
