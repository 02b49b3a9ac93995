// The trace's progress bar: a thin rounded track at the bottom right, filled
// to the position (0-100), or a sliding band while the start sequence is busy.
#pragma once

#include <QWidget>

class QTimer;

namespace hs::ui {

class ProgressBar : public QWidget {
 public:
  explicit ProgressBar(QWidget* parent = nullptr);
  void SetValue(int value);
  int Value() const { return value_; }
  void SetBusy(bool busy);
  bool Busy() const { return busy_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int value_ = 0;
  bool busy_ = false;
  int phase_ = 0;
  QTimer* timer_;
};

}  // namespace hs::ui
