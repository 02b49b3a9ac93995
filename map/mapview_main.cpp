// hopsight-mapview: shows the maps with a trace read from the JSON that
// `hopsight-trace --json` prints, for trying the map display by hand; with
// --png it renders one picture without a window instead.
//
//   hopsight-mapview [--maps DIR] [--data DIR] [--png OUT --size WxH] [--zoom LAT,LON,STEPS] [--whole-world]
//                    [TRACE.json]
// Route labels come from DIR/hopsight.loca (default: data/ beside the program).
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QStatusBar>
#include <cstdio>
#include <iostream>

#include "geo/place_file.h"
#include "map/map_widget.h"
#include "map/place_file_namer.h"
#include "map/trace_json.h"

using namespace hs;
using namespace hs::map;

namespace {

class StderrBoxes : public MapMessageBoxes {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    std::cerr << caption << ": " << text << "\n";
  }
};

bool ReadTrace(const QString& path, TraceJson& trace) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) && ReadTraceJson(f.readAll(), trace);
}

std::vector<GeoLocation> Locations(const std::vector<HopRef>& rows) {
  std::vector<GeoLocation> l;
  for (const HopRef& r : rows) l.push_back(r->Location());
  return l;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString mapsDir = "maps", png, tracePath, dataDir = QCoreApplication::applicationDirPath() + "/data";
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
  if (!tracePath.isEmpty() && !ReadTrace(tracePath, trace)) {
    std::cerr << "cannot read " << tracePath.toStdString() << "\n";
    return 1;
  }
  const std::vector<HopRef>& rows = trace.rows;
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
      v.FollowRoute(maps, Locations(rows), true, true);
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
  window.show();
  widget->ShowWholeWorld();
  if (!rows.empty()) widget->FollowRoute(true);
  return app.exec();
}
