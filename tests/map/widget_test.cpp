#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QTest>

#include "map/map_widget.h"
#include "test_maps.h"

namespace hs::map {
namespace {

class MapWidgetTest : public ::testing::Test {
 protected:
  MapWidgetTest() {
    table.Add(testing::WorldMap());
    widget->Renderer().SetChristmasCheck([] { return false; });
    widget->resize(1000, 500);
    widget->show();
    widget->ShowWholeWorld();
  }
  MapTable table;
  std::unique_ptr<MapWidget> widget = std::make_unique<MapWidget>(table, nullptr);
  MapView& v = widget->View();
};

TEST_F(MapWidgetTest, ShortMoveIsAClickThatZoomsInOnTheReleasePoint) {
  ASSERT_EQ(v.scale, 64);
  const int32_t left = v.left;
  QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(600, 250));
  QTest::mouseMove(widget.get(), QPoint(605, 250));
  QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(605, 250));
  EXPECT_EQ(v.scale, 32);
  // Re-centred on x 605 (105 pixels right of the centre) before shrinking.
  EXPECT_EQ(v.left, left + 105 * 64 + 16000);
  EXPECT_FALSE(widget->DragStarted());
  EXPECT_TRUE(widget->Anchor().isNull());
}

TEST_F(MapWidgetTest, EightPixelsMakeADragThatPansAndDoesNotZoom) {
  const int32_t left = v.left, top = v.top;
  QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(300, 200));
  QTest::mouseMove(widget.get(), QPoint(307, 200));  // below the threshold: nothing yet
  EXPECT_EQ(v.left, left);
  QTest::mouseMove(widget.get(), QPoint(308, 203));
  EXPECT_TRUE(widget->DragStarted());
  EXPECT_EQ(v.top, top - 3 * 64);
  EXPECT_EQ(v.left, left + kWorldWidth - 8 * 64);  // wrapped into 0..64800
  QTest::mouseMove(widget.get(), QPoint(309, 203));  // pixel for pixel once started
  EXPECT_EQ(v.left, left + kWorldWidth - 9 * 64);
  QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(309, 203));
  EXPECT_EQ(v.scale, 64);
  EXPECT_FALSE(widget->DragStarted());
}

TEST_F(MapWidgetTest, RightClickZoomsOut) {
  QTest::mouseClick(widget.get(), Qt::LeftButton, {}, QPoint(500, 250));
  ASSERT_EQ(v.scale, 32);
  QTest::mouseClick(widget.get(), Qt::RightButton, {}, QPoint(10, 10));
  EXPECT_EQ(v.scale, 64);
}

TEST_F(MapWidgetTest, PressAtTheTopLeftPixelLeavesNoAnchor) {
  const int32_t left = v.left;
  // QTest takes (0, 0) for "the centre", so the press is sent by hand.
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(0, 0), widget->mapToGlobal(QPointF(0, 0)), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(widget.get(), &press);
  EXPECT_TRUE(widget->Anchor().isNull());
  auto move = [&](QPoint at) {
    QMouseEvent e(QEvent::MouseMove, QPointF(at), widget->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::LeftButton,
                  Qt::NoModifier);
    QApplication::sendEvent(widget.get(), &e);
  };
  move(QPoint(20, 0));  // becomes the anchor: no pan
  EXPECT_EQ(widget->Anchor(), QPoint(20, 0));
  EXPECT_EQ(v.left, left);
  move(QPoint(30, 0));
  EXPECT_EQ(v.left, left + kWorldWidth - 10 * 64);
}

TEST_F(MapWidgetTest, MouseDoesNothingWhileTheMapIsNotShown) {
  widget->SetMapShown(false);
  const int32_t left = v.left, scale = v.scale;
  QTest::mouseClick(widget.get(), Qt::LeftButton, {}, QPoint(600, 250));
  QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(300, 200));
  QTest::mouseMove(widget.get(), QPoint(350, 200));
  QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(350, 200));
  EXPECT_EQ(v.left, left);
  EXPECT_EQ(v.scale, scale);
}

TEST_F(MapWidgetTest, CursorsFollowTheButtonAndThePointer) {
  QTest::mousePress(widget.get(), Qt::LeftButton, {}, QPoint(300, 200));
  EXPECT_EQ(widget->cursor().shape(), Qt::ClosedHandCursor);
  QTest::mouseRelease(widget.get(), Qt::LeftButton, {}, QPoint(300, 200));
  EXPECT_EQ(widget->cursor().shape(), Qt::ArrowCursor);
  bool told = false;
  widget->SetPointerLeftHandler([&] { told = true; });
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(widget.get(), &leave);
  EXPECT_TRUE(told);
  EXPECT_EQ(widget->cursor().shape(), Qt::OpenHandCursor);
}

TEST_F(MapWidgetTest, PaintShowsTheRouteOfTheRowSource) {
  HopRef row = HopRef::Create();
  row->SetLocation({LocationSource::Database, 10, 20, 40});
  widget->SetRouteSource([&] { return std::vector<HopRef>{row}; }, [] { return true; });
  widget->grab();  // paints through paintEvent
  const MapPos p = ProjectHop(10, 20);
  EXPECT_EQ(row->mapX.load(), (p.x - widget->View().left) / 64);
  EXPECT_FALSE(widget->Frame().isNull());
}

}  // namespace
}  // namespace hs::map
