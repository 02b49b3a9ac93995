#include "ui/hop_marks.h"

#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

#include "platform/resolver.h"
#include "ui/texts.h"

namespace hs::ui {
namespace {

constexpr int kIconSize = 12;

QPixmap Draw(HopMark mark, qreal ratio) {
  QPixmap pixmap(int(std::lround(kIconSize * ratio)), int(std::lround(kIconSize * ratio)));
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing, true);
  const QColor ink(20, 20, 20);
  switch (mark) {
    case HopMark::Implausible: {
      // A warning triangle with an exclamation mark, in the map ring's colour.
      QPainterPath t;
      t.moveTo(6, 0.5);
      t.lineTo(11.5, 11);
      t.lineTo(0.5, 11);
      t.closeSubpath();
      p.setPen(QPen(ink, 0.8));
      p.setBrush(QColor(245, 130, 0));
      p.drawPath(t);
      p.setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(6, 4), QPointF(6, 7));
      p.drawPoint(QPointF(6, 9.2));
      break;
    }
    case HopMark::Plausible:
      p.setPen(QPen(QColor(22, 140, 60), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF({QPointF(2, 6.5), QPointF(5, 9.5), QPointF(10, 2.5)}));
      break;
    case HopMark::Changed:
      // Two opposed arrows: the route turned elsewhere here.
      p.setPen(QPen(QColor(37, 99, 235), 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawLine(QPointF(1.5, 4), QPointF(10.5, 4));
      p.drawPolyline(QPolygonF({QPointF(8, 1.5), QPointF(10.5, 4), QPointF(8, 6.5)}));
      p.drawLine(QPointF(10.5, 8.5), QPointF(1.5, 8.5));
      p.drawPolyline(QPolygonF({QPointF(4, 6), QPointF(1.5, 8.5), QPointF(4, 11)}));
      break;
    case HopMark::None: break;
  }
  return pixmap;
}

QString Km(double km) { return QLocale().toString(qlonglong(std::llround(km))); }

}  // namespace

QIcon MarkIcon(HopMark mark) {
  QIcon icon;
  icon.addPixmap(Draw(mark, 1.0));
  icon.addPixmap(Draw(mark, 2.0));
  return icon;
}

HopMark PlausibilityMark(const geo::PositionVerdict& v) {
  switch (v.verdict) {
    case geo::Plausibility::Plausible: return HopMark::Plausible;
    case geo::Plausibility::Implausible: return HopMark::Implausible;
    case geo::Plausibility::NotJudged: return HopMark::None;
  }
  return HopMark::None;
}

QString PlausibilityTip(const geo::PositionVerdict& v) {
  switch (v.because) {
    case geo::NotJudgedBecause::Judged:
      if (v.verdict == geo::Plausibility::Implausible)
        return UiText(TextId::ImplausibleTip)
            .arg(Km(v.distanceKm), QLocale().toString(v.rttMs), Km(v.allowedKm), Km(v.marginKm));
      return UiText(TextId::PlausibleTip).arg(Km(v.distanceKm), QLocale().toString(v.rttMs), Km(v.allowedKm));
    case geo::NotJudgedBecause::NoTime: return UiText(TextId::NotJudgedNoTime);
    case geo::NotJudgedBecause::NoHome: return UiText(TextId::NotJudgedNoHome);
    case geo::NotJudgedBecause::IsHome: return UiText(TextId::HomeReference);
    case geo::NotJudgedBecause::NoPosition: return {};
  }
  return {};
}

QString ChangedHopTip(std::optional<uint32_t> before, int64_t recordedTime) {
  const QString was = !before      ? UiText(TextId::RouteNoHop)
                      : *before == 0 ? UiText(TextId::RouteNoReply)
                                     : QString::fromStdString(platform::AddressToDotted(*before));
  const QString when = QLocale().toString(QDateTime::fromSecsSinceEpoch(recordedTime), QLocale::ShortFormat);
  return UiText(TextId::ChangedHopTip).arg(when, was);
}

}  // namespace hs::ui
