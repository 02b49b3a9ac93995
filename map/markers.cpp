#include "map/markers.h"

#include <QPainter>
#include <QPainterPath>

namespace hs::map {
namespace {

// Colours by the source of the position; the dot shows whether the hop answered in time.
QColor TagColour(MarkerList l) {
  switch (l) {
    case MarkerList::MediumA: return QColor(37, 99, 235);     // location database
    case MarkerList::MediumB: return QColor(234, 88, 12);     // registries and servers
    case MarkerList::Large: return QColor(147, 51, 234);      // cache and user places
    case MarkerList::SingleA: return QColor(22, 163, 74);     // home
    case MarkerList::SingleB: return QColor(100, 116, 139);   // default home, unplaced
    default: return QColor(71, 85, 105);
  }
}

QImage Blank(int size) {
  QImage img(size, size, QImage::Format_RGB32);
  img.fill(kMagenta);
  return img;
}

// The node dot sits at (3, 3): the renderer puts the image's corner at (px - 3, py - 3).
void DrawDot(QPainter& p, int index) {
  const QColor fill = index == 3 ? QColor(34, 197, 94) : index == 0 ? QColor(220, 38, 38) : QColor(234, 179, 8);
  p.setPen(QColor(20, 20, 20));
  p.setBrush(fill);
  p.drawEllipse(QRect(0, 0, 6, 6));
}

}  // namespace

int MarkerImages::Size(MarkerList l) {
  switch (l) {
    case MarkerList::Small: return 7;
    case MarkerList::MediumA: case MarkerList::MediumB: return 11;
    case MarkerList::None: return 0;
    default: return 13;
  }
}

int MarkerImages::TargetSize(MarkerList l) {
  switch (l) {
    case MarkerList::MediumA: case MarkerList::MediumB: return 13;
    case MarkerList::SingleA: return 15;
    case MarkerList::SingleB: case MarkerList::Large: return 16;
    case MarkerList::Small: return 11;
    default: return 0;
  }
}

QImage MarkerImages::Artwork(MarkerList l, int index) {
  const int n = Size(l);
  QImage img = Blank(n);
  QPainter p(&img);  // no antialiasing: edge pixels must stay magenta or opaque
  if (l != MarkerList::Small) {
    // A tag to the lower right names the source; the dot marks the node.
    const QColor c = TagColour(l);
    p.setPen(QColor(20, 20, 20));
    p.setBrush(c);
    const int t = n - 5;  // tag size
    if (l == MarkerList::MediumB || l == MarkerList::Large) {
      const int m = 4 + t / 2;
      QPolygon diamond({QPoint(m, 4), QPoint(n - 1, m), QPoint(m, n - 1), QPoint(4, m)});
      p.drawPolygon(diamond);
    } else if (l == MarkerList::SingleA) {
      QPolygon house({QPoint(4, 8), QPoint(8, 4), QPoint(12, 8), QPoint(12, 12), QPoint(4, 12)});
      p.drawPolygon(house);
    } else {
      p.drawRect(QRect(4, 4, t, t));
    }
    if (l == MarkerList::SingleB) {  // a question mark: the position is a guess
      p.setPen(Qt::white);
      p.drawLine(7, 6, 9, 6);
      p.drawLine(9, 6, 9, 8);
      p.drawLine(8, 8, 8, 9);
      p.drawPoint(8, 11);
    }
  }
  DrawDot(p, l == MarkerList::SingleA || l == MarkerList::SingleB ? 3 : index);
  return img;
}

QImage MarkerImages::TargetArtwork(MarkerList l) {
  const int n = TargetSize(l);
  QImage img = Blank(n);
  QPainter p(&img);
  // Centred on (5, 5), where the renderer puts the hop: a ring with a cross.
  p.setPen(QPen(QColor(190, 18, 60), 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRect(0, 0, 10, 10));
  p.drawLine(5, 0, 5, 2);
  p.drawLine(5, 8, 5, 10);
  p.drawLine(0, 5, 2, 5);
  p.drawLine(8, 5, 10, 5);
  if (n > 11) {  // a pennant for the larger markers it sits on
    p.setPen(QColor(20, 20, 20));
    p.drawLine(9, 9, 9, n - 1);
    p.setBrush(QColor(190, 18, 60));
    p.drawPolygon(QPolygon({QPoint(10, 9), QPoint(n - 1, 9 + (n - 10) / 2), QPoint(10, n - 2)}));
  }
  return img;
}

QImage Unmask(const QImage& art) {
  QImage out = art.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < out.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x)
      if ((row[x] | 0xff000000) == kMagenta) row[x] = 0;
  }
  return out;
}

MarkerImages::MarkerImages() {
  for (int l = 1; l < kMarkerListCount; ++l) {
    const auto list = MarkerList(l);
    const int images = IsFourImageList(list) ? 4 : 1;
    for (int i = 0; i < images; ++i) markers_[size_t(l)].push_back(Unmask(Artwork(list, i)));
    targets_[size_t(l)] = Unmask(TargetArtwork(list));
  }
}

const QImage& MarkerImages::Marker(MarkerList l, int index) const {
  const auto& v = markers_[size_t(l)];
  return v[size_t(index) < v.size() ? size_t(index) : 0];
}

const QImage& MarkerImages::Target(MarkerList l) const { return targets_[size_t(l)]; }

}  // namespace hs::map
