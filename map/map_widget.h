// The map panel: shows the map and the route of the trace shown, and turns
// the mouse into view operations (drag to move, click to zoom in, right click
// to zoom out).
#pragma once

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <vector>

#include "map/map_renderer.h"

namespace hs::map {

class MapWidget : public QWidget {
 public:
  static constexpr int kDragThreshold = 8;  // pixels in either direction

  MapWidget(const MapTable& maps, const PlaceNamer* namer, QWidget* parent = nullptr);

  // The rows of the trace shown and whether that trace has ended.
  void SetRouteSource(std::function<std::vector<HopRef>()> rows, std::function<bool()> ended);
  // Mouse input acts only while the map is the panel shown.
  void SetMapShown(bool shown) { mapShown_ = shown; }
  // Called when the pointer leaves (the window clears its pressed bottom-bar item).
  void SetPointerLeftHandler(std::function<void()> f) { pointerLeft_ = std::move(f); }
  // The program's own hand (after the pointer left) and grab (while dragging) cursors.
  void SetCursors(QCursor hand, QCursor grab) {
    handCursor_ = std::move(hand);
    grabCursor_ = std::move(grab);
  }

  MapView& View() { return view_; }
  MapRenderer& Renderer() { return renderer_; }
  void ShowWholeWorld();
  // Follows the route as hops arrive.
  void FollowRoute(bool force);
  // The current picture, as painted last.
  const QImage& Frame() const { return frame_; }
  bool DragStarted() const { return dragStarted_; }
  QPoint Anchor() const { return anchor_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  std::vector<HopRef> Rows() const { return rows_ ? rows_() : std::vector<HopRef>{}; }
  void DragStep(QPoint p);
  void EndClickOrDrag(QPoint p);

  const MapTable& maps_;
  MapView view_;
  MapRenderer renderer_;
  QImage frame_;
  std::function<std::vector<HopRef>()> rows_;
  std::function<bool()> ended_;
  std::function<void()> pointerLeft_;
  bool mapShown_ = true;
  // Drag state: (0, 0) is "no anchor".
  QPoint anchor_;
  bool dragStarted_ = false;
  bool buttonDown_ = false;
  QCursor savedCursor_;
  QCursor handCursor_{Qt::OpenHandCursor};
  QCursor grabCursor_{Qt::ClosedHandCursor};
};

}  // namespace hs::map
