// hopsight-mapview: shows the maps with a trace read from the JSON that
// `hopsight-trace --json` prints, for trying the map display by hand; with
// --png it renders one picture without a window instead (on the offscreen
// platform when there is no display).
//
//   hopsight-mapview [--maps DIR] [--data DIR] [--png OUT --size WxH] [--zoom LAT,LON,STEPS] [--whole-world]
//                    [TRACE.json]
//
// By default the view fits the route: every hop with a position is in the
// picture. The route starts at its first hop with a position. Route labels
// come from DIR/hopsight.loca (default: data/ beside the program).
#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QMainWindow>
#include <QStatusBar>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>

#include "geo/place_file.h"
#include "map/map_widget.h"
#include "map/place_file_namer.h"
#include "map/route_fit.h"
#include "map/trace_json.h"

using namespace hs;
using namespace hs::map;

namespace {

// Runs `aim` after every resize of the watched widget, once the widget has
// shown the whole world for its new size.
class AimAfterResize : public QObject {
 public:
  explicit AimAfterResize(std::function<void()> aim) : aim_(std::move(aim)) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Resize) QMetaObject::invokeMethod(this, aim_, Qt::QueuedConnection);
    return false;
  }

 private:
  std::function<void()> aim_;
};

class StderrBoxes : public MapMessageBoxes {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    std::cerr << caption << ": " << text << "\n";
  }
};

// Hops closer to the edge than this would have their markers cut.
constexpr int32_t kFitMarginPx = 24;

bool ReadTrace(const QString& path, TraceJson& trace, std::string& why) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    why = f.errorString().toStdString();
    return false;
  }
  return ReadTraceJson(f.readAll(), trace, &why);
}

// A picture needs no display: without one, Qt's offscreen platform draws it.
void PickPlatformForPictures(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") || std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")) return;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--png") == 0) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

std::vector<GeoLocation> Locations(const std::vector<HopRef>& rows) {
  std::vector<GeoLocation> l;
  for (const HopRef& r : rows) l.push_back(r->Location());
  return l;
}

}  // namespace

int main(int argc, char** argv) {
  PickPlatformForPictures(argc, argv);
  QApplication app(argc, argv);
  QString mapsDir = QCoreApplication::applicationDirPath() + "/maps", png, tracePath,
          dataDir = QCoreApplication::applicationDirPath() + "/data";
  int width = 1280, height = 720;
  double zoomLat = 0, zoomLon = 0;
  int zoomSteps = 0;
  bool wholeWorld = false;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    if (a == "--maps" && i + 1 < args.size()) {
      mapsDir = args[++i];
    } else if (a == "--data" && i + 1 < args.size()) {
      dataDir = args[++i];
    } else if (a == "--png" && i + 1 < args.size()) {
      png = args[++i];
    } else if (a == "--size" && i + 1 < args.size()) {
      const QStringList wh = args[++i].split('x');
      if (wh.size() == 2) width = wh[0].toInt(), height = wh[1].toInt();
    } else if (a == "--zoom" && i + 1 < args.size()) {
      const QStringList z = args[++i].split(',');
      if (z.size() == 3) zoomLat = z[0].toDouble(), zoomLon = z[1].toDouble(), zoomSteps = z[2].toInt();
    } else if (a == "--whole-world") {
      wholeWorld = true;
    } else if (a.startsWith("--")) {
      std::cerr << "usage: hopsight-mapview [--maps DIR] [--data DIR] [--png OUT --size WxH] [--zoom LAT,LON,STEPS]"
                   " [--whole-world] [TRACE.json]\n";
      return 2;
    } else {
      tracePath = a;
    }
  }

  StderrBoxes boxes;
  MapTable maps;
  maps.LoadAtStartup(mapsDir.toStdString(), &boxes);
  const geo::PlaceFile places((dataDir + "/hopsight.loca").toStdString());
  PlaceFileNamer namer(places);
  TraceJson trace;
  std::string why;
  if (!tracePath.isEmpty() && !ReadTrace(tracePath, trace, why)) {
    std::cerr << "hopsight-mapview: cannot read " << tracePath.toStdString() << ": " << why << "\n";
    return 1;
  }
  // Hops before the first one with a position have no place on the map.
  const std::vector<HopRef> rows = PlacedRoute(trace.rows);
  if (rows.empty() && !trace.rows.empty()) {
    std::cerr << "hopsight-mapview: no hop of " << tracePath.toStdString() << " has a position: no route drawn\n";
  } else if (rows.size() < trace.rows.size()) {
    std::cerr << "hopsight-mapview: the route starts at hop " << rows.front()->hopNumber.load()
              << ", the first with a position\n";
  }
  const QString target = QString::fromLatin1(trace.target);
  const bool completed = trace.completed;

  auto aim = [&](MapView& v) {
    if (zoomSteps > 0) {
      // Centre on the point, then zoom in about the centre.
      const MapPos p = ProjectHop(zoomLat, zoomLon);
      const MapPos px = v.ToPixel(p.x, p.y, 1);
      v.Zoom(maps, px.x, px.y, true);
      for (int s = 1; s < zoomSteps; ++s) v.Zoom(maps, -1, -1, true);
    } else if (!rows.empty() && !wholeWorld) {
      FitRoute(v, maps, Locations(rows), kFitMarginPx);
    }
  };

  if (!png.isEmpty()) {
    MapView view;
    view.SetClient(width, height);
    view.ShowWholeWorld(maps);
    aim(view);
    MapRenderer renderer(maps, &namer);
    QImage image;
    renderer.Paint(image, view, rows, completed);
    if (image.isNull() || !image.save(png)) {
      std::cerr << "nothing rendered\n";
      return 1;
    }
    return 0;
  }

  QMainWindow window;
  auto* widget = new MapWidget(maps, &namer);
  widget->SetRouteSource([&] { return rows; }, [&] { return completed; });
  window.setCentralWidget(widget);
  window.setWindowTitle(target.isEmpty() ? "HopSight map" : "HopSight map - " + target);
  window.statusBar()->showMessage("Drag to move, click to zoom in, right click to zoom out");
  window.resize(width, height);
  AimAfterResize reaim([&] {
    aim(widget->View());
    widget->update();
  });
  widget->installEventFilter(&reaim);
  window.show();
  widget->ShowWholeWorld();
  aim(widget->View());
  widget->update();
  return app.exec();
}
