#include "ui/skin.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "ui/artwork.h"
#include "ui/texts.h"

namespace hs::ui {
namespace {

constexpr int kMargin = 6;
constexpr int kTop = 6;
constexpr int kBar = 48;          // the bottom bar piece; the status strip adds 18
constexpr int kEndWidth = 24;     // bottom-left end piece (x0)
constexpr int kTabSpacing = 123;  // hot spot width
// The tab images carry a transparent run on their right: the minimum window
// width counts four tab images, and the run keeps the fourth tab clear of the
// Start/Stop button at that width.
constexpr int kTabWidth = 137;
constexpr int kTabHeight = 35;
constexpr int kButtonWidth = 41;
constexpr QRectF kPill(3, 2, kTabSpacing - 6, kTabHeight - 4);
constexpr qreal kTabGlyph = 14, kTabGap = 6;  // the tab's icon and the space after it
constexpr QRectF kButton(2, 13, kButtonWidth - 4, 32);

QColor Mix(const QColor& a, const QColor& b, qreal t) {
  return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                          a.blueF() + (b.blueF() - a.blueF()) * t);
}

bool IsDark(const QColor& c) { return c.lightnessF() < 0.5; }

struct TabInfo {
  TextId caption;
  Glyph glyph;
};

TabInfo TabOf(int piece) {
  switch (piece & ~1) {
    case kMapTab: return {TextId::MapTab, Glyph::Map};
    case kListTab: return {TextId::ListTab, Glyph::List};
    case kRegistrantTab: return {TextId::RegistrantTab, Glyph::Registrant};
    default: return {TextId::NetworkTab, Glyph::Network};
  }
}

}  // namespace

SkinColours SkinColours::From(const QPalette& pal) {
  SkinColours c;
  const QColor window = pal.color(QPalette::Window);
  const QColor text = pal.color(QPalette::WindowText);
  const bool dark = IsDark(window);
  c.frame = window;
  c.hairline = Mix(window, text, dark ? 0.22 : 0.16);
  c.strip = Mix(window, text, dark ? 0.06 : 0.035);
  c.text = Mix(text, window, 0.32);
  c.selectedText = text;
  c.selectedFill = dark ? Mix(window, text, 0.12) : pal.color(QPalette::Base);
  c.accent = pal.color(QPalette::Highlight);
  if (dark && c.accent.lightnessF() < 0.45) c.accent = c.accent.lighter(150);
  c.start = QColor(0x2e, 0x9a, 0x5a);
  c.startHover = QColor(0x36, 0xb0, 0x68);
  c.stop = QColor(0xc9, 0x43, 0x3a);
  c.stopHover = QColor(0xde, 0x55, 0x4b);
  return c;
}

Skin::Skin(const QPalette& palette, qreal ratio)
    : palette_(palette), ratio_(ratio > 0 ? ratio : 1.0), colours_(SkinColours::From(palette)) {}

bool Skin::Matches(const QPalette& palette, qreal ratio) const {
  return ratio == ratio_ && palette.color(QPalette::Window) == palette_.color(QPalette::Window) &&
         palette.color(QPalette::WindowText) == palette_.color(QPalette::WindowText) &&
         palette.color(QPalette::Highlight) == palette_.color(QPalette::Highlight) &&
         palette.color(QPalette::Base) == palette_.color(QPalette::Base);
}

QSize Skin::LogicalSize(int piece) {
  switch (piece) {
    case kBottomBar: return {8, kBar};
    case kTopLeft:
    case kTopRight: return {kMargin, kTop};
    case kBottomLeftEnd:
    case kBottomLeftEndMap: return {kEndWidth, kBar};
    case kBottomRightEnd: return {kMargin, kBar};
    case kTopEdge: return {8, kTop};
    case kLeftEdge:
    case kRightEdge: return {kMargin, 8};
    case kStart:
    case kStartHighlighted:
    case kStop:
    case kStopHighlighted: return {kButtonWidth, kBar};
    default:
      if (piece >= kMapTab && piece <= kNetworkTab + 1) return {kTabWidth, kTabHeight};
      return {};
  }
}

QSize Skin::MinimumTrackingSize() {
  const int width = 4 * LogicalSize(kMapTab + 1).width() + 2 * Margin() + LogicalSize(kStop).width() - 47;
  const int height = BarHeight() + 18 + TopHeight() + 250;
  return {width, height};
}

QFont Skin::TabCaptionFont(bool selected) {
  QFont font = QGuiApplication::font();
  font.setPixelSize(13);
  if (selected) font.setWeight(QFont::DemiBold);
  return font;
}

qreal Skin::TabCaptionRoom() { return kPill.width() - 16 - kTabGlyph - kTabGap; }

const QPixmap& Skin::Piece(int piece) const {
  auto it = pieces_.find(piece);
  if (it == pieces_.end()) it = pieces_.emplace(piece, Draw(piece)).first;
  return it->second;
}

QPixmap Skin::Draw(int piece) const {
  const QSize logical = LogicalSize(piece);
  const QSize device(int(std::lround(logical.width() * ratio_)), int(std::lround(logical.height() * ratio_)));
  QImage image(device, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  const SkinColours& c = colours_;
  const int hair = std::max(1, int(std::floor(ratio_)));  // one crisp line of whole device pixels
  auto dev = [&](qreal v) { return int(std::lround(v * ratio_)); };
  auto hline = [&](int x0, int x1, int y) { p.fillRect(QRect(x0, y, x1 - x0, hair), c.hairline); };
  auto vline = [&](int x, int y0, int y1) { p.fillRect(QRect(x, y0, hair, y1 - y0), c.hairline); };
  const int W = device.width(), H = device.height();

  switch (piece) {
    case kBottomBar:
      p.fillRect(image.rect(), c.frame);
      hline(0, W, 0);
      break;
    case kTopEdge:
      p.fillRect(image.rect(), c.frame);
      hline(0, W, H - hair);
      break;
    case kLeftEdge:
      p.fillRect(image.rect(), c.frame);
      vline(W - hair, 0, H);
      break;
    case kRightEdge:
      p.fillRect(image.rect(), c.frame);
      vline(0, 0, H);
      break;
    case kTopLeft:
      p.fillRect(image.rect(), c.frame);
      p.fillRect(QRect(W - hair, H - hair, hair, hair), c.hairline);
      break;
    case kTopRight:
      p.fillRect(image.rect(), c.frame);
      p.fillRect(QRect(0, H - hair, hair, hair), c.hairline);
      break;
    case kBottomLeftEnd:
    case kBottomLeftEndMap:
      p.fillRect(image.rect(), c.frame);
      hline(dev(kMargin) - hair, W, 0);
      break;
    case kBottomRightEnd:
      p.fillRect(image.rect(), c.frame);
      hline(0, hair, 0);
      break;
    case kStart:
    case kStartHighlighted:
    case kStop:
    case kStopHighlighted: {
      p.setRenderHint(QPainter::Antialiasing);
      p.scale(ratio_, ratio_);
      const bool stop = piece == kStop || piece == kStopHighlighted;
      const bool hot = piece == kStartHighlighted || piece == kStopHighlighted;
      QColor fill = stop ? (hot ? c.stopHover : c.stop) : (hot ? c.startHover : c.start);
      if (hot) {  // a soft halo under the highlighted button
        p.setPen(Qt::NoPen);
        QColor halo = fill;
        halo.setAlphaF(0.22);
        p.setBrush(halo);
        p.drawRoundedRect(kButton.adjusted(-1.5, -1.5, 1.5, 1.5), 9.5, 9.5);
      }
      p.setPen(Qt::NoPen);
      p.setBrush(fill);
      p.drawRoundedRect(kButton, 8, 8);
      p.setBrush(Qt::white);
      const QPointF m = kButton.center();
      if (stop) {
        p.drawRoundedRect(QRectF(m.x() - 5.5, m.y() - 5.5, 11, 11), 2, 2);
      } else {
        QPainterPath tri;
        tri.moveTo(m.x() - 4.5, m.y() - 7);
        tri.lineTo(m.x() + 7, m.y());
        tri.lineTo(m.x() - 4.5, m.y() + 7);
        tri.closeSubpath();
        p.drawPath(tri);
      }
      break;
    }
    default: {
      if (piece < kMapTab || piece > kNetworkTab + 1) break;
      const bool selected = (piece & 1) != 0;
      const TabInfo tab = TabOf(piece);
      p.setRenderHint(QPainter::Antialiasing);
      p.setRenderHint(QPainter::TextAntialiasing);
      p.scale(ratio_, ratio_);
      if (selected) {
        QColor shade = c.hairline;
        shade.setAlphaF(0.45);
        p.setPen(Qt::NoPen);
        p.setBrush(shade);
        p.drawRoundedRect(kPill.translated(0, 0.8), 8, 8);  // a one-pixel shadow under the pill
        p.setPen(QPen(c.hairline, 1.0 / ratio_ * std::max(1.0, std::floor(ratio_))));
        p.setBrush(c.selectedFill);
        p.drawRoundedRect(kPill, 8, 8);
        QColor bar = c.accent;
        p.setPen(Qt::NoPen);
        p.setBrush(bar);
        p.drawRoundedRect(QRectF(kPill.center().x() - 14, kPill.bottom() - 3.5, 28, 2.5), 1.25, 1.25);
      }
      const QFont font = TabCaptionFont(selected);
      p.setFont(font);
      const QFontMetricsF fm(font);
      const QString caption = fm.elidedText(UiText(tab.caption), Qt::ElideRight, TabCaptionRoom());
      const qreal width = kTabGlyph + kTabGap + fm.horizontalAdvance(caption);
      const qreal x = kPill.left() + (kPill.width() - width) / 2;
      const qreal cy = kPill.center().y() - (selected ? 0.8 : 0);
      DrawGlyph(p, tab.glyph, QRectF(x, cy - kTabGlyph / 2, kTabGlyph, kTabGlyph), selected ? c.accent : c.text);
      p.setPen(selected ? c.selectedText : c.text);
      p.drawText(QRectF(x + kTabGlyph + kTabGap, kPill.top(), width, kPill.height() - (selected ? 1.6 : 0)),
                 Qt::AlignLeft | Qt::AlignVCenter, caption);
      break;
    }
  }
  p.end();
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setDevicePixelRatio(ratio_);
  return pixmap;
}

}  // namespace hs::ui
