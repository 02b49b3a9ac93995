#include "map/map_widget.h"

#include <QMouseEvent>
#include <QPainter>
#include <cstdlib>

namespace hs::map {

MapWidget::MapWidget(const MapTable& maps, const PlaceNamer* namer, QWidget* parent)
    : QWidget(parent), maps_(maps), renderer_(maps, namer) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
  view_.requestRepaint = [this] { update(); };
}

void MapWidget::SetRouteSource(std::function<std::vector<HopRef>()> rows, std::function<bool()> ended) {
  rows_ = std::move(rows);
  ended_ = std::move(ended);
  update();
}

void MapWidget::ShowWholeWorld() {
  view_.SetClient(width(), height());
  view_.currentMap = 0;
  view_.ShowWholeWorld(maps_);
  view_.baseMapValid = 0;
  update();
}

void MapWidget::FollowRoute(bool force) {
  if (window()->isMinimized()) return;
  view_.SetClient(width(), height());
  std::vector<GeoLocation> locations;
  for (const HopRef& h : Rows()) locations.push_back(h->Location());
  view_.FollowRoute(maps_, locations, force, mapShown_);
}

void MapWidget::paintEvent(QPaintEvent*) {
  view_.SetClient(width(), height());
  QPainter p(this);
  if (maps_.Count() == 0 || view_.scale == 0) {
    p.fillRect(rect(), palette().window());
    return;
  }
  renderer_.Paint(frame_, view_, Rows(), ended_ && ended_(), devicePixelRatioF());
  p.drawImage(QPointF(0, 0), frame_);
}

void MapWidget::resizeEvent(QResizeEvent*) { ShowWholeWorld(); }

void MapWidget::mousePressEvent(QMouseEvent* e) {
  if (!mapShown_ || e->button() != Qt::LeftButton) return;
  buttonDown_ = true;
  savedCursor_ = cursor();
  setCursor(grabCursor_);
  anchor_ = e->position().toPoint();
}

void MapWidget::mouseMoveEvent(QMouseEvent* e) {
  if (!mapShown_) return;
  if (e->buttons() == Qt::LeftButton) DragStep(e->position().toPoint());
}

void MapWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (!mapShown_) return;
  if (e->button() == Qt::RightButton) {
    view_.Zoom(maps_, -1, -1, false);
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  setCursor(savedCursor_);
  if (!buttonDown_) return;
  buttonDown_ = false;
  EndClickOrDrag(e->position().toPoint());
}

void MapWidget::leaveEvent(QEvent*) {
  if (!mapShown_) return;
  if (pointerLeft_) pointerLeft_();
  setCursor(handCursor_);
}

void MapWidget::DragStep(QPoint p) {
  if (anchor_.isNull()) anchor_ = p;
  if (!dragStarted_ && std::abs(p.x() - anchor_.x()) < kDragThreshold &&
      std::abs(p.y() - anchor_.y()) < kDragThreshold)
    return;
  dragStarted_ = true;
  view_.Pan(maps_, p.x(), p.y(), anchor_.x(), anchor_.y());
  anchor_ = p;
}

void MapWidget::EndClickOrDrag(QPoint p) {
  if (!dragStarted_) view_.Zoom(maps_, p.x(), p.y(), true);
  dragStarted_ = false;
  anchor_ = QPoint();
}

}  // namespace hs::map
