// The skin of the main window: the frame pieces 15001-15042, drawn by code
// from the desktop's palette at the screen's device pixel ratio, so they are
// sharp at any scale and read well in light and dark themes.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPixmap>
#include <QSize>
#include <map>

namespace hs::ui {

// Piece ids, as the frame layout names them.
enum SkinPiece : int {
  kBottomBar = 15001,
  kTopLeft = 15002,
  kTopRight = 15003,
  kBottomLeftEnd = 15004,  // while another panel than the map is shown
  kBottomRightEnd = 15005,
  kTopEdge = 15006,
  kLeftEdge = 15007,
  kRightEdge = 15008,
  kMapTab = 15016,         // +1: selected
  kListTab = 15018,
  kRegistrantTab = 15020,
  kNetworkTab = 15022,
  kStart = 15027,
  kStartHighlighted = 15028,
  kStop = 15029,
  kBottomLeftEndMap = 15041,
  kStopHighlighted = 15042,
};

// The colours the pieces and the window's own drawing share, taken from a palette.
struct SkinColours {
  QColor frame;       // window background around the panels
  QColor hairline;    // the line around the panels
  QColor strip;       // the status strip along the bottom edge
  QColor text;        // captions of the tabs not shown
  QColor selectedText;
  QColor selectedFill;
  QColor accent;
  QColor start, startHover, stop, stopHover;
  static SkinColours From(const QPalette& palette);
};

class Skin {
 public:
  explicit Skin(const QPalette& palette = QPalette(), qreal devicePixelRatio = 1.0);

  // Size of a piece in logical pixels.
  static QSize LogicalSize(int piece);
  // The piece drawn at the skin's ratio: its pixel size is the logical size
  // times the ratio, rounded, so it is drawn one to one.
  const QPixmap& Piece(int piece) const;
  qreal DevicePixelRatio() const { return ratio_; }
  const SkinColours& Colours() const { return colours_; }
  bool Matches(const QPalette& palette, qreal ratio) const;

  // Metrics of the layout.
  static int Margin() { return LogicalSize(kLeftEdge).width(); }
  static int TopHeight() { return LogicalSize(kTopEdge).height(); }
  static int BarHeight() { return LogicalSize(kBottomBar).height() + 18; }
  static int BottomLeftWidth(bool mapShown) {
    return LogicalSize(mapShown ? kBottomLeftEndMap : kBottomLeftEnd).width();
  }
  static QSize MinimumTrackingSize();
  // A tab's caption: its font (the desktop's, bold on the tab shown) and
  // the width it has beside the tab's icon. A longer caption is cut short.
  static QFont TabCaptionFont(bool selected);
  static qreal TabCaptionRoom();

 private:
  QPixmap Draw(int piece) const;

  QPalette palette_;
  qreal ratio_;
  SkinColours colours_;
  mutable std::map<int, QPixmap> pieces_;
};

}  // namespace hs::ui
