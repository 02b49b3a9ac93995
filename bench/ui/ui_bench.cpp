// Repaints of the maximised main window at 1920x1080 while a trace of twelve
// located hops across three continents is running (offscreen platform, CPU
// time): everything including the base map, and the usual repaint during a
// trace, where the base map is kept and only the route is drawn again.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <map>

#include "map/map_widget.h"
#include "scripted.h"
#include "ui/main_window.h"

using namespace hs;

namespace {

struct Place {
  const char* address;
  double latitude, longitude;
};
const Place kRoute[] = {
    {"198.18.1.1", 37.77, -122.42}, {"198.18.1.2", 37.34, -121.89}, {"198.18.1.3", 41.88, -87.63},
    {"198.18.1.4", 40.71, -74.01},  {"198.18.1.5", 51.51, -0.13},   {"198.18.1.6", 50.11, 8.68},
    {"198.18.1.7", 52.52, 13.40},   {"198.18.1.8", 55.76, 37.62},   {"198.18.1.9", 55.03, 82.92},
    {"198.18.1.10", 39.90, 116.40}, {"198.18.1.11", 37.57, 126.98}, {"198.18.1.12", 35.68, 139.69},
};

class PlacedLookups final : public HopLookups {
 public:
  bool LocateHop(HopRecord& row) override {
    for (const Place& p : kRoute)
      if (row.address == test::Ip(p.address)) {
        row.SetLocation({LocationSource::Server, p.latitude, p.longitude, 150});
        return true;
      }
    return false;
  }
};

struct NoBoxes final : ui::MessageBoxes {
  int ShowOwnBox(const std::string&, const std::string&, int) override { return 1; }
  void ShowTargetError(int) override {}
  void ShowDatabaseOpenFailed() override {}
  void ShowDatabaseInvalid(int) override {}
  void ShowDatabaseNeedsUpdate() override {}
  void ShowServersUnreachable() override {}
  bool AskNewVersion() override { return false; }
  bool ShowUpdateInformation(const std::string&) override { return false; }
};

// A window in the middle of a trace: twelve hops shown, the thirteenth
// probe held until the benchmark ends.
struct TracingWindow {
  TracingWindow() {
    net.answer = [](uint32_t dst, int ttl) -> test::Answer {
      if (ttl > 12) return platform::IcmpEchoReply{dst, IP_SUCCESS};
      return platform::IcmpEchoReply{test::Ip(kRoute[ttl - 1].address), IP_TTL_EXPIRED_TRANSIT};
    };
    net.beforeReply = [this](const test::Send& send) {
      if (send.ttl == 13) test::Changes().WaitUntil([this] { return release.load(); }, std::chrono::minutes(10));
    };
    TraceEngine::Platform p;
    p.openIcmp = [this] { return net.Open(); };
    p.resolver = &resolver;
    p.clock = [this] { return net.clock(); };
    p.sleep = [this](uint32_t ms) { net.clock.now += ms; };
    engine = std::make_unique<TraceEngine>(std::move(p));
    engine->SetLookups(&lookups);
    maps.LoadAll(HOPSIGHT_MAPS_DIR, nullptr);
    window = std::make_unique<ui::MainWindow>(*engine, maps, nullptr, settings, boxes);
    window->setGeometry(0, 0, 1920, 1080);
    window->show();
    engine->SetTargetText("198.18.9.9");
    window->StartTrace();
    (void)QTest::qWaitFor([&] { return net.SendsWithTtl(13) > 0; }, 20000);
    QTest::qWait(50);
  }
  ~TracingWindow() {
    release = true;
    test::Changes().Notify();
    engine->Shutdown();
    engine->WaitIdle(std::chrono::seconds(20));
    window.reset();
  }
  test::ScriptedNetwork net;
  test::ScriptedResolver resolver;
  PlacedLookups lookups;
  config::Settings settings;
  NoBoxes boxes;
  map::MapTable maps;
  std::atomic<bool> release{false};
  std::unique_ptr<TraceEngine> engine;
  std::unique_ptr<ui::MainWindow> window;
};

TracingWindow* tracing = nullptr;

// Every paint renders the whole widget tree into one image, as the backing
// store would, independent of whether the platform exposes the window.
QImage& Target() {
  static QImage image(1920, 1080, QImage::Format_ARGB32_Premultiplied);
  return image;
}

void BM_FullRepaintMaximised(benchmark::State& state) {
  for (auto _ : state) {
    tracing->window->Map()->View().baseMapValid = 0;
    tracing->window->render(&Target());
  }
}
BENCHMARK(BM_FullRepaintMaximised)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_RouteRepaintMaximised(benchmark::State& state) {
  tracing->window->render(&Target());
  for (auto _ : state) tracing->window->render(&Target());
}
BENCHMARK(BM_RouteRepaintMaximised)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

void BM_FramePaintMaximised(benchmark::State& state) {
  // The window's own drawing: frame, tabs, status strip (the panel is a child).
  const QRegion bar(0, 1080 - 66, 1920, 66);
  for (auto _ : state) tracing->window->render(&Target(), QPoint(), bar);
}
BENCHMARK(BM_FramePaintMaximised)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  tracing = new TracingWindow;
  std::printf("trace shown: %d rows, window %dx%d\n", tracing->engine->Table().RowCount(), tracing->window->width(),
              tracing->window->height());
  benchmark::RunSpecifiedBenchmarks();
  delete tracing;
  benchmark::Shutdown();
  return 0;
}
