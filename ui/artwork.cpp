#include "ui/artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace hs::ui {
namespace {

// The icon: a round badge of deep teal with a pale globe grid and a route of
// three hops drawn across it, the last hop ringed as the target.
void DrawIcon(QPainter& p, qreal s, bool small) {
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF disc(s * 0.03, s * 0.03, s * 0.94, s * 0.94);
  QLinearGradient g(disc.topLeft(), disc.bottomRight());
  g.setColorAt(0, QColor(0x2b, 0x8c, 0xa8));
  g.setColorAt(1, QColor(0x17, 0x4e, 0x73));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawEllipse(disc);

  const QColor grid(255, 255, 255, small ? 0 : 70);
  if (!small) {
    QPen gp(grid, s * 0.025);
    p.setPen(gp);
    p.setBrush(Qt::NoBrush);
    const QPointF c = disc.center();
    const qreal r = disc.width() / 2;
    p.drawEllipse(c, r * 0.45, r * 0.98);
    p.drawLine(QPointF(c.x(), c.y() - r * 0.98), QPointF(c.x(), c.y() + r * 0.98));
    for (qreal f : {-0.5, 0.0, 0.5}) {
      const qreal y = c.y() + f * r;
      const qreal half = std::sqrt(std::max<qreal>(0, r * r - (y - c.y()) * (y - c.y()))) * 0.97;
      p.drawLine(QPointF(c.x() - half, y), QPointF(c.x() + half, y));
    }
  }

  // The route: a gentle arc through three hops.
  const QPointF a(s * 0.22, s * 0.68), b(s * 0.47, s * 0.40), d(s * 0.76, s * 0.30);
  QPainterPath route(a);
  route.quadTo(QPointF(s * 0.30, s * 0.46), b);
  route.quadTo(QPointF(s * 0.60, s * 0.30), d);
  QPen rp(QColor(0xff, 0xd1, 0x66), s * (small ? 0.09 : 0.055));
  rp.setCapStyle(Qt::RoundCap);
  p.setPen(rp);
  p.setBrush(Qt::NoBrush);
  p.drawPath(route);

  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  const qreal dot = s * (small ? 0.10 : 0.075);
  p.drawEllipse(a, dot, dot);
  if (!small) p.drawEllipse(b, dot, dot);
  QPen ring(Qt::white, s * (small ? 0.07 : 0.045));
  p.setPen(ring);
  p.setBrush(QColor(0xff, 0x7a, 0x59));
  p.drawEllipse(d, s * (small ? 0.13 : 0.10), s * (small ? 0.13 : 0.10));
}

// A hand as one outline: palm plus fingers (each a capsule), filled white
// with a dark edge, the way pointer cursors read on any background.
QPainterPath Capsule(qreal x, qreal y, qreal w, qreal h) {
  QPainterPath path;
  path.addRoundedRect(QRectF(x, y, w, h), w / 2, w / 2);
  return path;
}

QPainterPath HandPath(CursorId id) {
  QPainterPath hand;
  // Coordinates in a 32 x 32 box.
  if (id == kCursorButton) {
    hand = Capsule(11, 2, 5, 17);                       // pointing finger
    hand = hand.united(Capsule(15.5, 10, 4.6, 10));
    hand = hand.united(Capsule(19.6, 11, 4.6, 10));
    hand = hand.united(Capsule(23.6, 12.5, 4.4, 9.5));
    QPainterPath thumb = Capsule(0, 0, 4.6, 11);
    QTransform t;
    t.translate(6.5, 14.5);
    t.rotate(-40);
    hand = hand.united(t.map(thumb));
    QPainterPath palm;
    palm.addRoundedRect(QRectF(10.5, 15, 17.5, 14), 5, 5);
    hand = hand.united(palm);
  } else if (id == kCursorHand) {
    hand = Capsule(8, 7, 4.6, 14);
    hand = hand.united(Capsule(12.4, 3, 4.6, 16));
    hand = hand.united(Capsule(16.8, 4, 4.6, 15));
    hand = hand.united(Capsule(21.2, 7, 4.4, 13));
    QPainterPath thumb = Capsule(0, 0, 4.6, 11);
    QTransform t;
    t.translate(3.5, 16);
    t.rotate(-35);
    hand = hand.united(t.map(thumb));
    QPainterPath palm;
    palm.addRoundedRect(QRectF(8, 14, 17.6, 14), 5, 5);
    hand = hand.united(palm);
  } else {  // grab: fingers folded over the palm
    hand = Capsule(8.5, 9, 4.6, 8);
    hand = hand.united(Capsule(12.9, 8, 4.6, 8));
    hand = hand.united(Capsule(17.3, 8, 4.6, 8));
    hand = hand.united(Capsule(21.6, 9.5, 4.4, 7));
    QPainterPath thumb = Capsule(0, 0, 4.6, 8);
    QTransform t;
    t.translate(5, 15);
    t.rotate(-60);
    hand = hand.united(t.map(thumb));
    QPainterPath palm;
    palm.addRoundedRect(QRectF(8.5, 12, 17.5, 15), 5, 5);
    hand = hand.united(palm);
  }
  return hand;
}

QPointF HotSpot(CursorId id) {
  switch (id) {
    case kCursorButton: return {13.5, 2};
    case kCursorHand: return {16, 16};
    case kCursorGrab: return {16, 16};
  }
  return {0, 0};
}

}  // namespace

QImage ProgramIconImage(int pixels) {
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  DrawIcon(p, pixels, pixels < 24);
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : kHicolorSizes) icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
  return icon;
}

QImage CursorImage(CursorId id, qreal ratio) {
  const int px = int(std::lround(32 * ratio));
  QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  image.setDevicePixelRatio(ratio);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const QPainterPath hand = HandPath(id);
  p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::white);
  p.drawPath(hand);
  // Finger lines, so the shape reads as a hand and not a blob.
  p.setPen(QPen(QColor(0x20, 0x20, 0x20, 150), 0.9, Qt::SolidLine, Qt::RoundCap));
  if (id == kCursorButton) {
    p.drawLine(QPointF(15.8, 16), QPointF(15.8, 20));
    p.drawLine(QPointF(19.9, 17), QPointF(19.9, 21));
    p.drawLine(QPointF(23.9, 18), QPointF(23.9, 22));
  } else if (id == kCursorHand) {
    p.drawLine(QPointF(12.6, 15), QPointF(12.6, 19));
    p.drawLine(QPointF(17, 15), QPointF(17, 19));
    p.drawLine(QPointF(21.4, 15), QPointF(21.4, 19));
  } else {
    p.drawLine(QPointF(13.1, 11), QPointF(13.1, 15));
    p.drawLine(QPointF(17.5, 11), QPointF(17.5, 15));
    p.drawLine(QPointF(21.8, 11.5), QPointF(21.8, 15));
  }
  return image;
}

QCursor MakeCursor(CursorId id, qreal ratio) {
  const QPointF hot = HotSpot(id);
  return QCursor(QPixmap::fromImage(CursorImage(id, ratio)), int(hot.x()), int(hot.y()));
}

void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& box, const QColor& colour) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = std::min(box.width(), box.height());
  const QPointF o(box.center().x() - s / 2, box.center().y() - s / 2);
  auto at = [&](qreal x, qreal y) { return QPointF(o.x() + x * s, o.y() + y * s); };
  QPen pen(colour, std::max<qreal>(1.0, s * 0.1), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  switch (glyph) {
    case Glyph::Map: {
      const QRectF r(at(0.08, 0.08), at(0.92, 0.92));
      p.drawEllipse(r);
      p.drawEllipse(QRectF(at(0.3, 0.08), at(0.7, 0.92)));
      p.drawLine(at(0.08, 0.5), at(0.92, 0.5));
      break;
    }
    case Glyph::List:
      for (qreal y : {0.2, 0.5, 0.8}) {
        p.drawPoint(at(0.12, y));
        p.drawLine(at(0.34, y), at(0.92, y));
      }
      break;
    case Glyph::Registrant:
      p.drawEllipse(QRectF(at(0.32, 0.06), at(0.68, 0.42)));
      {
        QPainterPath shoulders(at(0.1, 0.94));
        shoulders.cubicTo(at(0.1, 0.58), at(0.9, 0.58), at(0.9, 0.94));
        p.drawPath(shoulders);
      }
      break;
    case Glyph::Network: {
      const QPointF a = at(0.5, 0.18), b = at(0.16, 0.8), c = at(0.84, 0.8);
      p.drawLine(a, b);
      p.drawLine(a, c);
      p.drawLine(b, c);
      p.setBrush(colour);
      const qreal r = s * 0.13;
      for (const QPointF& q : {a, b, c}) p.drawEllipse(q, r, r);
      break;
    }
  }
  p.restore();
}

QImage WizardSidePicture(QSize logical, qreal devicePixelRatio) {
  const QSize device(std::max(1, int(std::lround(logical.width() * devicePixelRatio))),
                     std::max(1, int(std::lround(logical.height() * devicePixelRatio))));
  QImage image(device, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(devicePixelRatio);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal w = logical.width(), h = logical.height();
  // The icon's teal, from the evening sky at the top to deep water below.
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0, QColor(0x2b, 0x8c, 0xa8));
  sky.setColorAt(0.55, QColor(0x1d, 0x63, 0x86));
  sky.setColorAt(1, QColor(0x10, 0x3a, 0x57));
  p.fillRect(QRectF(0, 0, w, h), sky);

  // A globe, partly below the lower edge of the picture's upper half.
  const qreal r = w * 0.78;
  const QPointF c(w * 0.5, h * 0.42);
  QRadialGradient sea(c - QPointF(r * 0.35, r * 0.35), r * 1.3);
  sea.setColorAt(0, QColor(0x3f, 0xa9, 0xc4));
  sea.setColorAt(1, QColor(0x15, 0x4a, 0x6b));
  p.setPen(QPen(QColor(255, 255, 255, 90), w * 0.012));
  p.setBrush(sea);
  p.drawEllipse(c, r * 0.5, r * 0.5);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 60), w * 0.01));
  for (qreal f : {0.18, 0.36}) p.drawEllipse(c, r * f, r * 0.5);
  p.drawLine(QPointF(c.x(), c.y() - r * 0.5), QPointF(c.x(), c.y() + r * 0.5));
  for (qreal f : {-0.25, 0.0, 0.25}) {
    const qreal y = c.y() + f * r;
    const qreal half = std::sqrt(std::max<qreal>(0, r * r * 0.25 - (y - c.y()) * (y - c.y())));
    p.drawLine(QPointF(c.x() - half, y), QPointF(c.x() + half, y));
  }

  // The route from far away to home, in the icon's gold.
  const QPointF from(c.x() + r * 0.32, c.y() - r * 0.22), home(w * 0.5, h * 0.78);
  QPainterPath route(from);
  route.cubicTo(QPointF(w * 1.05, h * 0.58), QPointF(w * 0.05, h * 0.62), home - QPointF(0, w * 0.16));
  QPen gold(QColor(0xff, 0xd1, 0x66), w * 0.035);
  gold.setCapStyle(Qt::RoundCap);
  gold.setStyle(Qt::DashLine);
  p.setPen(gold);
  p.drawPath(route);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(from, w * 0.04, w * 0.04);

  // The home pin: a drop with a small house cut out of it.
  const qreal pr = w * 0.17;
  QPainterPath pin;
  pin.moveTo(home);
  pin.cubicTo(home + QPointF(-pr * 0.3, -pr * 0.9), home + QPointF(-pr, -pr * 1.3), home + QPointF(-pr, -pr * 1.9));
  pin.arcTo(QRectF(home.x() - pr, home.y() - pr * 2.9, 2 * pr, 2 * pr), 180, -180);
  pin.cubicTo(home + QPointF(pr, -pr * 1.3), home + QPointF(pr * 0.3, -pr * 0.9), home);
  p.setBrush(QColor(0, 0, 0, 60));
  p.drawEllipse(home + QPointF(0, w * 0.02), pr * 0.6, pr * 0.18);
  p.setBrush(QColor(0xff, 0x7a, 0x59));
  p.setPen(QPen(Qt::white, w * 0.025));
  p.drawPath(pin);
  const QPointF hc = home + QPointF(0, -pr * 1.95);
  const qreal hs = pr * 0.42;
  QPainterPath house;
  house.moveTo(hc + QPointF(-hs, 0));
  house.lineTo(hc + QPointF(0, -hs * 0.9));
  house.lineTo(hc + QPointF(hs, 0));
  house.lineTo(hc + QPointF(hs * 0.7, 0));
  house.lineTo(hc + QPointF(hs * 0.7, hs * 0.8));
  house.lineTo(hc + QPointF(-hs * 0.7, hs * 0.8));
  house.lineTo(hc + QPointF(-hs * 0.7, 0));
  house.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawPath(house);
  return image;
}

}  // namespace hs::ui
