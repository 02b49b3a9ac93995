// The bottom bar's hot spots and the rules of pressing them: plain geometry
// and state, shared by the window and its tests.
#pragma once

#include <QPoint>
#include <QRect>
#include <array>

namespace hs::ui {

// Items of the bottom bar, and what the hit test answers for text tabs whose
// text is not available.
enum BarItem : int {
  kNoItem = 0,
  kMapItem = 1,
  kListItem = 2,
  kRegistrantItem = 3,
  kNetworkItem = 4,
  kStartStopItem = 5,
  kNetworkUnavailable = 101,
  kRegistrantUnavailable = 102,
};

struct HotSpot {
  int kind = kNoItem;
  QRect rect;  // right and bottom edges exclusive, as the layout gives them
  bool Contains(QPoint p) const {
    return p.x() >= rect.left() && p.x() < rect.left() + rect.width() && p.y() >= rect.top() &&
           p.y() < rect.top() + rect.height();
  }
};

struct BarLayout {
  std::array<HotSpot, 5> spots;
  static BarLayout Compute(QSize client, bool mapShown, bool registrantAvailable);
  // The item under `p`, with the text tab rules.
  int HitTest(QPoint p, bool registrantAvailable, bool networkAvailable) const;
  const HotSpot& Spot(int kind) const { return spots[size_t(kind - 1)]; }
};

// Which item the left button pressed, and whether its release acts.
class PressTracker {
 public:
  void Press(int item) {
    before_ = pressed_;
    pressed_ = item;
  }
  // The item to activate, or kNoItem. A release over the pressed item acts
  // when that item differs from the one pressed before; the Start/Stop
  // button acts on every release; a release elsewhere restores the item
  // pressed before.
  int Release(int itemUnderPointer) {
    if ((itemUnderPointer == pressed_ && pressed_ != before_) || pressed_ == kStartStopItem) return pressed_;
    if (itemUnderPointer != pressed_) pressed_ = before_;
    return kNoItem;
  }
  void Clear() { pressed_ = kNoItem; }
  int Pressed() const { return pressed_; }

 private:
  int pressed_ = kNoItem;
  int before_ = kNoItem;
};

}  // namespace hs::ui
