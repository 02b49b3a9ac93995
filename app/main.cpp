// hopsight: the route tracing window.
//
//   hopsight /T TARGET     trace TARGET and record the trace in the history
//   hopsight /L TARGET     show the recorded trace of TARGET when it is fresh, else trace it
//
// Anything else ends at once. Start-up: the settings, then the window, whose
// making loads the maps and then the lookup caches (purged); at exit the
// trace is recorded and the settings and caches are saved.
#include <QApplication>
#include <QLibrary>
#include <QPalette>
#include <QTimer>
#include <QStyleFactory>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <string>

#include "asn/as_table.h"
#include "cli/program_files.h"
#include "config/cache_file.h"
#include "config/caches.h"
#include "config/settings.h"
#include "map/map_table.h"
#include "map/route_layout.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/icmp_echo.h"
#include "platform/resolver.h"
#include "trace/engine.h"
#include "trace/history.h"
#include "trace/target.h"
#include "ui/artwork.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/results_list.h"
#include "ui/texts.h"

namespace {

struct CommandLine {
  bool trace = false;
  int historyMode = hs::TraceHistory::kRecord;
  std::string target;
};

std::string Trim(std::string s) {
  const char* blanks = " \t\r\n";
  s.erase(0, s.find_first_not_of(blanks));
  s.erase(s.find_last_not_of(blanks) + 1);
  return s;
}

CommandLine Parse(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  CommandLine c;
  if (line.size() > 3 && line[0] == '/' && line[2] == ' ') {
    const char s = line[1];
    if (s == 'T' || s == 't' || s == 'L' || s == 'l') {
      c.trace = true;
      c.historyMode = (s == 'L' || s == 'l') ? hs::TraceHistory::kReplayIfRecorded : hs::TraceHistory::kRecord;
      c.target = Trim(line.substr(3)).substr(0, 259);
    }
  }
  return c;
}

// Desktops whose Qt theme does not pass on a dark colour scheme can ask for it.
void ApplyColourScheme(QApplication& app) {
  const char* scheme = std::getenv("HOPSIGHT_COLOR_SCHEME");
  if (!scheme || std::string(scheme) != "dark") return;
  app.setStyle(QStyleFactory::create("Fusion"));
  QPalette p;
  const QColor window(0x2b, 0x2d, 0x30), base(0x1f, 0x21, 0x24), text(0xe6, 0xe6, 0xe6);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, QColor(0x26, 0x28, 0x2b));
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, window);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xd8));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::ToolTipBase, base);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
  app.setPalette(p);
}

// The start-up benchmark's hook (bench/ui/startup_bench.sh): with
// HOPSIGHT_BENCH_FIRST_PAINT set, the program prints the wall clock and its
// resident memory once the window has been painted the first time, and quits.
class FirstPaintProbe : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      QTimer::singleShot(0, [] {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        long rssKb = 0;
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
          if (line.rfind("VmRSS:", 0) == 0) rssKb = std::atol(line.c_str() + 6);
        std::printf("first-paint-unix-ns=%lld rss-kb=%ld\n", static_cast<long long>(ts.tv_sec) * 1000000000 + ts.tv_nsec,
                    rssKb);
        std::fflush(stdout);
        QApplication::quit();
      });
    }
    return false;
  }

 private:
  bool seen_ = false;
};

// Milliseconds since the process started, for the start-up benchmark's
// phase list on stderr.
void Phase(const char* name) {
  static const bool on = std::getenv("HOPSIGHT_BENCH_FIRST_PAINT") != nullptr;
  if (!on) return;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  std::fprintf(stderr, "phase %s unix-ns=%lld\n", name, static_cast<long long>(ts.tv_sec) * 1000000000 + ts.tv_nsec);
}

}  // namespace

int main(int argc, char** argv) {
  Phase("main");
  const CommandLine command = Parse(argc, argv);
  if (!command.trace) return 0;

  QApplication app(argc, argv);
  QApplication::setApplicationName("HopSight");
  QApplication::setDesktopFileName("hopsight");
  QApplication::setWindowIcon(hs::ui::ProgramIcon());
  ApplyColourScheme(app);
  Phase("application");

  const std::string programDir = hs::platform::ExecutableDirectory();
  const std::string dataDir = programDir + "data";
  hs::platform::MakeDirectories(dataDir);

  // Settings (the home location wizard comes with the application shell).
  hs::config::Settings settings;
  std::random_device random;
  hs::config::SetInstallIdentity(settings, hs::platform::CalendarTime(), static_cast<int32_t>(random() & 0x7FFF));
  hs::config::NoHomeLocationWizard wizard;
  hs::config::LoadSettings(dataDir, settings, wizard, false);

  hs::platform::SystemResolver resolver;
  hs::TraceEngine::Platform platform;
  platform.resolver = &resolver;
  platform.homeLocation = [&settings] { return settings.startLocation; };
  platform.openIcmp = [] { return hs::platform::OpenIcmpEcho().echo; };
  hs::TraceEngine engine(std::move(platform));

  hs::ui::QtMessageBoxes boxes;
  hs::map::MapTable maps;
  hs::map::MapPlacesNamer namer(maps);
  hs::config::Caches caches;
  hs::cli::CliLookups lookups(caches, resolver);
  hs::TraceHistory history(dataDir);

  Phase("settings");
  hs::ui::MainWindow window(engine, maps, &namer, settings, boxes);
  boxes.SetOwner(&window);
  // The list's AS column; the table is read on its first lookup.
  hs::asn::AsLookup asTable(dataDir + "/" + std::string(hs::asn::kAsTableFileName));
  window.List()->SetAsLookup(&asTable);
  Phase("window");
  // The window's making loads the maps, then the caches, and purges them.
  maps.LoadAtStartup(programDir + "maps", &boxes);
  Phase("maps");
  hs::config::LoadCaches(dataDir, caches);
  hs::config::PurgeCaches(caches, settings, hs::platform::CalendarTime());
  engine.SetLookups(&lookups);
  engine.Sounds().SetEnabled(settings.sound != 0);
  Phase("sounds");
  FirstPaintProbe firstPaint;
  if (std::getenv("HOPSIGHT_BENCH_FIRST_PAINT")) window.installEventFilter(&firstPaint);
  window.PlaceAndShow();

  Phase("shown");
  // The sounds come once the window is up (see ui/sound_plugin.cpp).
  const std::string soundDir = dataDir + "/sound";
  QTimer::singleShot(0, [&engine, programDir, soundDir] {
    using Make = hs::SoundOutput* (*)(const char*);
    QLibrary module(QString::fromStdString(programDir + "libhopsight-sound.so"));
    if (auto make = reinterpret_cast<Make>(module.resolve("hopsight_make_sound_output")))
      engine.Sounds().SetOutput(make(soundDir.c_str()), soundDir);
  });
  // Without ICMP every hop would time out: say why instead.
  if (hs::platform::IcmpOpenResult probe = hs::platform::OpenIcmpEcho(); !probe.echo) {
    boxes.ShowOwnBox(probe.error, hs::ui::UiText(hs::ui::TextId::IcmpUnavailableTitle).toStdString(),
                     hs::ui::kBoxTypeOk);
  }

  engine.SetTargetText(command.target);
  const std::string target = command.target;
  const int mode = command.historyMode;
  window.StartTrace([&engine, &history, &resolver, &window, target, mode] {
    // Keyed by the target's address; resolving it may wait on the network.
    const uint32_t key = hs::Resolve(hs::ParseTarget(target, nullptr), resolver).value_or(0);
    history.Open(key, mode);
    engine.Context().history = &history;
    // The list marks the hops that changed since the recorded trace.
    hs::ui::RecordedRoute recorded{key, {}, history.Record().time};
    for (const hs::TraceHopEntry& entry : history.Entries()) recorded.addresses.push_back(entry.address);
    hs::ui::ResultsList* list = window.List();
    QMetaObject::invokeMethod(list, [list, recorded] { list->SetRecordedRoute(recorded); }, Qt::QueuedConnection);
  });

  const int result = app.exec();

  // Shutdown: make every trace thread stale, give them a moment, then save.
  engine.Shutdown();
  engine.Sounds().SetOutput(nullptr, {});
  boxes.Close();
  const bool idle = engine.WaitIdle(std::chrono::milliseconds(200)) &&
                    window.WaitStartsIdle(std::chrono::milliseconds(50));
  if (idle) history.Finish(engine.Table().Snapshot());
  const hs::config::WindowPlacement placement = window.Placement();
  hs::config::SaveSettings(dataDir, settings, false, &placement);
  hs::config::SaveCaches(dataDir, caches, settings, hs::platform::CalendarTime());
  if (!idle) {
    // A probe or a name lookup is still out; the files are saved, and the
    // threads hold nothing worth waiting for.
    std::fflush(nullptr);
    std::_Exit(result);
  }
  return result;
}
