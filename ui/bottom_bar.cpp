#include "ui/bottom_bar.h"

#include "ui/skin.h"

namespace hs::ui {

BarLayout BarLayout::Compute(QSize client, bool mapShown, bool registrantAvailable) {
  const int b = client.height() - Skin::BarHeight();
  const int x0 = Skin::BottomLeftWidth(mapShown);
  auto rect = [](int l, int t, int r, int bt) { return QRect(l, t, r - l, bt - t); };
  BarLayout layout;
  layout.spots[0] = {kMapItem, rect(x0 - 12, b + 8, x0 + 111, b + 43)};
  layout.spots[1] = {kListItem, rect(x0 + 111, b + 8, x0 + 234, b + 43)};
  layout.spots[2] = {kRegistrantItem, rect(x0 + 234, b + 8, x0 + 357, b + 43)};
  const int networkLeft = registrantAvailable ? x0 + 357 : x0 + 234;
  layout.spots[3] = {kNetworkItem, rect(networkLeft, b + 8, networkLeft + 123, b + 43)};
  const int startLeft =
      client.width() - (Skin::LogicalSize(kBottomRightEnd).width() + Skin::LogicalSize(kStop).width());
  layout.spots[4] = {kStartStopItem, rect(startLeft, b + 12, startLeft + 41, b + 46)};
  return layout;
}

int BarLayout::HitTest(QPoint p, bool registrantAvailable, bool networkAvailable) const {
  for (const HotSpot& spot : spots) {
    if (!spot.Contains(p)) continue;
    switch (spot.kind) {
      case kRegistrantItem:
        if (registrantAvailable) return kRegistrantItem;
        return networkAvailable ? kNetworkItem : kRegistrantUnavailable;
      case kNetworkItem:
        return networkAvailable ? kNetworkItem : kNetworkUnavailable;
      default:
        return spot.kind;
    }
  }
  return kNoItem;
}

}  // namespace hs::ui
