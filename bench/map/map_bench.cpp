// Paint times of the map at 1920x1080: the whole world, 8x zoom on Europe,
// and a route-only repaint, each beside the same layers drawn without the
// two polyline culls. The ratios are printed at the end of the run.
//
// Zoomed views: 8x is three halvings of the whole world's scale (32 -> 4).
//
//   build/bin/map_bench [--maps DIR] [benchmark flags]
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "map/map_renderer.h"

using namespace hs;
using namespace hs::map;

namespace {

MapTable* gMaps = nullptr;
PlaceNamer* gNamer = nullptr;

std::vector<HopRef> Route() {
  const double stops[][2] = {{37.77, -122.42}, {41.88, -87.63}, {40.71, -74.0}, {51.51, -0.13}, {50.11, 8.68},
                             {52.23, 21.01},   {55.75, 37.62},  {39.9, 116.4},  {35.68, 139.69}};
  std::vector<HopRef> rows;
  for (const auto& s : stops) {
    HopRef r = HopRef::Create();
    r->lastRtt = 40;
    r->SetLocation({LocationSource::Server, s[0], s[1], 120});
    rows.push_back(r);
  }
  rows.push_back(HopRef::Create());  // an unplaced target
  return rows;
}

MapView View(int zoomSteps, double lat = 50, double lon = 10) {
  MapView v;
  v.SetClient(1920, 1080);
  v.ShowWholeWorld(*gMaps);
  if (zoomSteps > 0) {
    const MapPos p = ProjectHop(lat, lon);
    const MapPos px = v.ToPixel(p.x, p.y, v.PointInView(p.x, p.y) == 2 ? 2 : 1);
    v.Zoom(*gMaps, px.x, px.y, true);
    for (int i = 1; i < zoomSteps; ++i) v.Zoom(*gMaps, -1, -1, true);
  }
  return v;
}

void FullPaint(benchmark::State& state, int zoomSteps, bool cull) {
  MapRenderer renderer(*gMaps, gNamer);
  renderer.SetChristmasCheck([] { return false; });
  renderer.SetCulling(cull);
  MapView view = View(zoomSteps);
  const std::vector<HopRef> rows = Route();
  QImage frame;
  for (auto _ : state) {
    view.baseMapValid = 0;
    renderer.Paint(frame, view, rows, true);
    benchmark::DoNotOptimize(frame.constBits());
  }
  state.counters["scale"] = view.scale;
  state.counters["map"] = view.currentMap;
  state.counters["polylines"] = renderer.LastPolylinesDrawn();
}

// cull: the two polyline culls, and with `clip` the cutting of shapes that
// reach out of the picture. Without culls nothing is cut either: the honest
// "same layers, drawn as they are" comparison.
void LayersOnly(benchmark::State& state, int zoomSteps, bool cull, double lat = 50, double lon = 10, bool clip = true) {
  MapRenderer renderer(*gMaps, gNamer);
  renderer.SetCulling(cull);
  renderer.SetClipping(clip);
  MapView view = View(zoomSteps, lat, lon);
  view.colourBits = 32;
  QImage frame(1920, 1080, QImage::Format_RGB32);
  for (auto _ : state) {
    renderer.DrawLayersOnly(frame, view);
    benchmark::DoNotOptimize(frame.constBits());
  }
  state.counters["polylines"] = renderer.LastPolylinesDrawn();
  state.counters["map"] = view.currentMap;
}

void BM_Zoom8Layers(benchmark::State& s) { LayersOnly(s, 3, true); }
void BM_Zoom8LayersNoClip(benchmark::State& s) { LayersOnly(s, 3, true, 50, 10, false); }
void BM_Zoom8LayersNoCull(benchmark::State& s) { LayersOnly(s, 3, false); }
// Over North America, whose regional map reaches far beyond the view.
void BM_Zoom8AmericaLayers(benchmark::State& s) { LayersOnly(s, 3, true, 40, -95); }
void BM_Zoom8AmericaLayersNoClip(benchmark::State& s) { LayersOnly(s, 3, true, 40, -95, false); }
void BM_Zoom8AmericaLayersNoCull(benchmark::State& s) { LayersOnly(s, 3, false, 40, -95); }
// Over Africa, where only the world map covers the view.
void BM_Zoom8WorldMapLayers(benchmark::State& s) { LayersOnly(s, 3, true, 5, 20); }
void BM_Zoom8WorldMapLayersNoClip(benchmark::State& s) { LayersOnly(s, 3, true, 5, 20, false); }
void BM_Zoom8WorldMapLayersNoCull(benchmark::State& s) { LayersOnly(s, 3, false, 5, 20); }
void BM_WorldFullPaint(benchmark::State& s) { FullPaint(s, 0, true); }
void BM_WorldFullPaintNoCull(benchmark::State& s) { FullPaint(s, 0, false); }
void BM_Zoom8FullPaint(benchmark::State& s) { FullPaint(s, 3, true); }
void BM_Zoom8FullPaintNoCull(benchmark::State& s) { FullPaint(s, 3, false); }

void BM_RouteOnlyRepaint(benchmark::State& state) {
  MapRenderer renderer(*gMaps, gNamer);
  renderer.SetChristmasCheck([] { return false; });
  MapView view = View(0);
  const std::vector<HopRef> rows = Route();
  QImage frame;
  renderer.Paint(frame, view, rows, true);
  for (auto _ : state) {
    renderer.Paint(frame, view, rows, true);  // the base map is still valid
    benchmark::DoNotOptimize(frame.constBits());
  }
}

BENCHMARK(BM_WorldFullPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorldFullPaintNoCull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8FullPaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8FullPaintNoCull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8Layers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8LayersNoClip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8LayersNoCull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8AmericaLayers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8AmericaLayersNoClip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8AmericaLayersNoCull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8WorldMapLayers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8WorldMapLayersNoClip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zoom8WorldMapLayersNoCull)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RouteOnlyRepaint)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's CPU time per iteration for the ratios: the machine
// is shared, and wall time also counts the time other processes took.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.iterations > 0)
        ms[r.benchmark_name()] = r.GetAdjustedCPUTime() * 1e3 / benchmark::GetTimeUnitMultiplier(r.time_unit);
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ms;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string mapsDir = HOPSIGHT_MAPS_DIR;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) == "--maps" && i + 1 < argc) {
      mapsDir = argv[++i];
      continue;
    }
    rest.push_back(argv[i]);
  }
  int n = int(rest.size());
  QApplication app(n, rest.data());
  MapTable maps;
  if (!maps.LoadAll(mapsDir, nullptr) || maps.Count() == 0) {
    std::fprintf(stderr, "no maps in %s\n", mapsDir.c_str());
    return 1;
  }
  MapPlacesNamer namer(maps);
  gMaps = &maps;
  gNamer = &namer;
  benchmark::Initialize(&n, rest.data());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.ms;
  auto ratio = [&](const char* slow, const char* fast) {
    if (t.count(slow) && t.count(fast) && t[fast] > 0) std::printf("  %-28s / %-28s = %5.2fx\n", slow, fast, t[slow] / t[fast]);
  };
  std::printf("\nRatios of CPU time per paint (same run):\n");
  ratio("BM_WorldFullPaintNoCull", "BM_WorldFullPaint");
  ratio("BM_Zoom8FullPaintNoCull", "BM_Zoom8FullPaint");
  std::printf("Layers at 8x: not culled / culled and clipped (the renderer as shipped):\n");
  ratio("BM_Zoom8LayersNoCull", "BM_Zoom8Layers");
  ratio("BM_Zoom8AmericaLayersNoCull", "BM_Zoom8AmericaLayers");
  ratio("BM_Zoom8WorldMapLayersNoCull", "BM_Zoom8WorldMapLayers");
  std::printf("Layers at 8x: not culled / culled without clipping (the two culls alone):\n");
  ratio("BM_Zoom8LayersNoCull", "BM_Zoom8LayersNoClip");
  ratio("BM_Zoom8AmericaLayersNoCull", "BM_Zoom8AmericaLayersNoClip");
  ratio("BM_Zoom8WorldMapLayersNoCull", "BM_Zoom8WorldMapLayersNoClip");
  ratio("BM_WorldFullPaint", "BM_RouteOnlyRepaint");
  std::printf("Goals: world full paint < 16 ms (%.2f ms), route-only < 2 ms (%.2f ms), culling >= 3x at 8x zoom.\n",
              t["BM_WorldFullPaint"], t["BM_RouteOnlyRepaint"]);
  benchmark::Shutdown();
  return 0;
}
