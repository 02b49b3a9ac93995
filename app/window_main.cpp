// hopsight-window: the route tracing window. `hopsight` (app/main.cpp) starts
// it once it holds the lock; started directly it takes the lock itself.
//
//   hopsight /T TARGET     trace TARGET and record the trace in the history (/t: the same, but
//                          the host application's closing of its log does not end the program)
//   hopsight /L TARGET     show the recorded trace of TARGET when it is fresh, else trace it
//   hopsight /H            set the home location, then end
//   hopsight --ask | --notify REQUEST | --help | --version
//
// Anything else ends at once. One instance runs per user: a second start
// hands its command line to the first over the local channel and ends.
//
// Start-up, in order: the lock; the browser; the location server list; the
// install identity and the settings (with the home location wizard when no
// home location is set); the update check, on a thread of its own; then the
// switch. /T and /L make the window, whose making loads the maps, the
// location database and the user locations, the caches and the WhoIs server
// table, and purges the caches; the trace starts and the requests of other
// starts are taken. /H runs the wizard and loads nothing else.
//
// Shutdown: the trace made stale, the history written, the settings, caches
// and user locations saved, the window freed, the location server list saved.
#include <QApplication>
#include <QLibrary>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QPointer>
#include <QSocketNotifier>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <fstream>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/event_log.h"
#include "app/program.h"
#include "app/program_dir.h"
#include "app/requests.h"
#include "app/shell_services.h"
#include "app/single_instance.h"
#include "app/texts.h"
#include "app/update_check.h"
#include "i18n/language.h"
#include "map/map_table.h"
#include "map/place_file_namer.h"
#include "platform/browser.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/icmp_echo.h"
#include "platform/instance.h"
#include "platform/resolver.h"
#include "trace/engine.h"
#include "trace/history.h"
#include "trace/target.h"
#include "trace/texts.h"
#include "ui/artwork.h"
#include "ui/ask_target.h"
#include "ui/home_wizard.h"
#include "ui/main_window.h"
#include "ui/message_box.h"
#include "ui/results_list.h"
#include "ui/texts.h"
#include "whois/domain_record.h"

#ifndef HOPSIGHT_VERSION
#define HOPSIGHT_VERSION "0"
#endif

namespace {

using hs::app::EventLog;

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

std::unique_ptr<QApplication> MakeApplication(int& argc, char** argv) {
  auto app = std::make_unique<QApplication>(argc, argv);
  // Qt's own texts (a text field's menu) follow the program's language when
  // Qt's translations are there.
  auto* qtTexts = new QTranslator(app.get());
  if (qtTexts->load(QLocale(QString::fromStdString(hs::i18n::CurrentLanguage())), "qtbase", "_",
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qtTexts);
  QApplication::setApplicationName("HopSight");
  QApplication::setApplicationVersion(HOPSIGHT_VERSION);
  QApplication::setDesktopFileName("hopsight");
  QApplication::setWindowIcon(hs::ui::ProgramIcon());
  ApplyColourScheme(*app);
  return app;
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

// The location database loader's boxes go to the window's boxes. The loader
// names them by their texts; the two it shows are told apart by caption.
class WindowGeoMessages final : public hs::geo::GeoMessages {
 public:
  explicit WindowGeoMessages(hs::ui::QtMessageBoxes& boxes) : boxes_(boxes) {}
  void ShowMessage(std::string_view text, std::string_view caption) override {
    if (caption == hs::ui::UiText(hs::ui::TextId::DatabaseInvalidTitle).toStdString()) {
      const size_t at = text.find("(0x");
      const int code = at == std::string_view::npos ? 0 : int(std::strtol(std::string(text.substr(at + 3)).c_str(), nullptr, 16));
      boxes_.ShowDatabaseInvalid(code);
    } else if (caption == hs::ui::UiText(hs::ui::TextId::ErrorTitle).toStdString()) {
      boxes_.ShowDatabaseOpenFailed();
    } else {
      boxes_.ShowMessage(text, caption);
    }
  }

 private:
  hs::ui::QtMessageBoxes& boxes_;
};

// The update check's boxes and the browser.
class WindowUpdatePrompts final : public hs::app::UpdatePrompts {
 public:
  WindowUpdatePrompts(hs::ui::QtMessageBoxes& boxes, const hs::platform::Browser& browser)
      : boxes_(boxes), browser_(browser) {}
  bool AskOkCancel(std::string_view text, std::string_view, bool exclamation) override {
    return exclamation ? boxes_.AskNewVersion() : boxes_.ShowUpdateInformation(std::string(text));
  }
  bool OpenInBrowser(const std::string& address) override { return browser_.OpenInBrowser(address); }

 private:
  hs::ui::QtMessageBoxes& boxes_;
  const hs::platform::Browser& browser_;
};

// The wait cursor while a trace thread asks a location server. Begin and
// end come from that thread; the cursor changes on the window's thread.
class WaitCursor final : public QObject, public hs::geo::FetchFeedback {
 public:
  ~WaitCursor() override {
    {
      std::lock_guard g(lock_);
      open_ = false;
    }
    for (; depth_ > 0; --depth_) QGuiApplication::restoreOverrideCursor();
  }
  void BeginWait() override { Post(kBegin); }
  void EndWait() override { Post(kEnd); }
  bool event(QEvent* e) override {
    if (e->type() == kBegin) {
      ++depth_;
      QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (e->type() == kEnd && depth_ > 0) {
      --depth_;
      QGuiApplication::restoreOverrideCursor();
    } else {
      return QObject::event(e);
    }
    return true;
  }

 private:
  static constexpr QEvent::Type kBegin = QEvent::Type(QEvent::User + 60), kEnd = QEvent::Type(QEvent::User + 61);
  void Post(QEvent::Type type) {
    std::lock_guard g(lock_);
    if (open_) QCoreApplication::postEvent(this, new QEvent(type));
  }
  std::mutex lock_;
  bool open_ = true;
  int depth_ = 0;
};

// The wizard at the first start: the settings' hook.
class StartupWizard final : public hs::config::HomeLocationWizard {
 public:
  explicit StartupWizard(const hs::ui::WizardServices& services) : services_(services) {}
  void Run(hs::config::Settings&) override {
    EventLog::Instance().Write("wizard", "open");
    hs::ui::RunHomeLocationWizard(nullptr, services_);
    EventLog::Instance().Write("wizard", "closed");
  }

 private:
  const hs::ui::WizardServices& services_;
};

// Ends every event loop, a wizard's too. quit() would first ask each
// window to close, and the wizard answers a close with a question.
void EndAllLoops() { QCoreApplication::exit(0); }

// Ends the program when the window closes.
class CloseWatch : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Close && e->isAccepted()) QTimer::singleShot(0, [] { EndAllLoops(); });
    return false;
  }
};

// The requests of other starts, taken one at a time on the window's thread:
// a hand-over's wait of 100 ms holds up the requests behind it, so that they
// act in the order they came.
class RequestDesk : public QObject {
 public:
  using Handler = std::function<void(const hs::app::Request&, std::function<void()> done)>;
  explicit RequestDesk(Handler handler) : handler_(std::move(handler)) {}

  // From the channel's thread.
  void Deliver(const std::string& packet) {
    const std::optional<hs::app::Request> request = hs::app::ReadRequest(packet);
    if (!request) {
      EventLog::Instance().Write("refused", "a message that is not a request");
      return;
    }
    std::string line(hs::app::RequestName(request->kind));
    if (request->kind == hs::app::Request::NewTrace) line += " " + request->commandLine;
    EventLog::Instance().Write("request", line);
    QMetaObject::invokeMethod(this, [this, r = *request] {
      queue_.push_back(r);
      Pump();
    }, Qt::QueuedConnection);
  }

 private:
  void Pump() {
    while (!busy_ && !queue_.empty()) {
      const hs::app::Request request = queue_.front();
      queue_.pop_front();
      busy_ = true;
      handler_(request, [this, alive = QPointer<QObject>(this)] {
        if (!alive) return;
        busy_ = false;
        QTimer::singleShot(0, this, [this] { Pump(); });
      });
    }
  }

  Handler handler_;
  std::deque<hs::app::Request> queue_;
  bool busy_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  Phase("main");
  // The program's language from the environment, whether or not its locale
  // is installed.
  hs::i18n::UseLanguage(hs::platform::ExecutableDirectory(), hs::i18n::LanguageFromEnvironment());
  const hs::app::Invocation invocation = hs::app::ReadInvocation(argc, argv);
  if (const std::optional<int> status = hs::app::AnswerEarlyInvocation(invocation, HOPSIGHT_VERSION))
    return *status;

  std::unique_ptr<QApplication> app;
  std::string commandText = hs::app::JoinArguments(argc, argv);
  if (invocation.kind == hs::app::Invocation::Ask) {
    app = MakeApplication(argc, argv);
    const std::optional<QString> target = hs::ui::AskForTarget();
    if (!target) return 0;
    commandText = "/T " + target->toStdString();
  }
  const hs::app::CommandLine command = hs::app::ParseCommandLine(commandText);
  // Nothing to do: end before anything is touched.
  if (command.dispatch == hs::app::Dispatch::End) return 0;

  // One instance per user. A second start hands its request over and ends.
  std::optional<hs::app::Instance> adopted = hs::app::AdoptInstance();
  hs::app::Instance instance = adopted ? std::move(*adopted) : hs::app::StartInstance(command);
  if (instance.role == hs::app::Instance::Second) return 0;
  std::unique_ptr<hs::platform::ChannelServer> channel = std::move(instance.channel);
  if (!channel) {
    std::fprintf(stderr, "hopsight: %s\n", hs::i18n::Tr(hs::app::text::kNoRequests, instance.problem).c_str());
  }
  Phase("lock");

  if (!app) app = MakeApplication(argc, argv);
  Phase("application");

  // Start-up 3: the browser and the start directory.
  const hs::platform::Browser browser = hs::platform::FindDefaultBrowser();
  const std::string programDir = hs::app::ProgramDirectory();
  if (!hs::app::ProgramDirectoryProblem().empty())
    std::fprintf(stderr, "hopsight: %s\n", hs::app::ProgramDirectoryProblem().c_str());
  const hs::app::HelpPages help(programDir + "help", browser);
  hs::ui::QtMessageBoxes boxes;
  boxes.SetHelp([&help](const std::string& topic, int) { help.ShowHelpTopic(topic); });

  // Start-up 4: the trace state and the location server table.
  hs::app::Program program(hs::app::ProgramDataDirectory());
  program.LoadServerList();
  hs::platform::SystemResolver resolver;
  hs::TraceEngine::Platform platform;
  platform.resolver = &resolver;
  platform.homeLocation = [&program] { return program.Home(); };
  platform.openIcmp = [] { return hs::platform::OpenIcmpEcho().echo; };
  hs::TraceEngine engine(std::move(platform));

  // The wizard's view of the program. The world map for the advanced view's
  // picture is the window's, or (with /H, which loads no window data) read
  // when the picture is first drawn.
  hs::map::MapTable maps;
  bool mapsLoaded = false;
  std::unique_ptr<hs::map::MapTable> wizardMaps;
  hs::ui::WizardServices wizard;
  wizard.servers = &program.Servers();
  wizard.home = [&program] { return program.Home(); };
  wizard.setHome = [&program](const hs::GeoLocation& home) { program.SetHome(home); };
  wizard.help = [&help](const std::string& topic) { help.ShowHelpTopic(topic); };
  wizard.worldMap = [&]() -> const hs::map::MapTable* {
    if (mapsLoaded) return &maps;
    if (!wizardMaps) {
      wizardMaps = std::make_unique<hs::map::MapTable>();
      wizardMaps->LoadAtStartup(programDir + "maps", nullptr);
    }
    return wizardMaps.get();
  };

  // Start-up 5 and 6: the install identity, the data directory, the settings.
  StartupWizard startupWizard(wizard);
  const bool homeMode = command.dispatch == hs::app::Dispatch::Home;
  program.LoadSettings(startupWizard, homeMode);
  Phase("settings");

  // Start-up 7: the update check, beside the start rather than before it.
  WindowUpdatePrompts prompts(boxes, browser);
  hs::app::UpdateCheckSetup updateSetup;
  updateSetup.homePage = help.StartPageUrl();
  updateSetup.prompts = &prompts;
  hs::app::UpdateCheck update(updateSetup);
  update.StartIfDue(program.Settings().install);

  auto tellFiles = [&program] {
    for (const std::string& message : program.TakeMessages()) std::fprintf(stderr, "hopsight: %s\n", message.c_str());
  };

  // Start-up 8, home mode: the wizard only. Requests of other starts are not taken.
  if (homeMode) {
    if (channel) {
      channel->Start([](std::string) { EventLog::Instance().Write("refused", "a request while setting the home location"); });
    }
    QSocketNotifier terminate(hs::platform::TerminationSignalDescriptor(), QSocketNotifier::Read);
    QObject::connect(&terminate, &QSocketNotifier::activated, [] { EndAllLoops(); });
    EventLog::Instance().Write("ready", "home");
    EventLog::Instance().Write("wizard", "open");
    hs::ui::RunHomeLocationWizard(nullptr, wizard);
    EventLog::Instance().Write("wizard", "closed");
    channel.reset();
    engine.Shutdown();
    boxes.Close();
    update.Finish(program.Settings().install);
    program.SaveFiles();
    program.SaveServerList();
    tellFiles();
    EventLog::Instance().Write("exit");
    return 0;
  }

  // Start-up 8, trace mode: the window, whose making loads its data.
  WindowGeoMessages geoMessages(boxes);
  WaitCursor waitCursor;
  hs::map::PlaceFileNamer namer(*program.Places());
  auto window = std::make_unique<hs::ui::MainWindow>(engine, maps, &namer, program.Settings(), boxes);
  boxes.SetOwner(window.get());
  // The list's AS column; the table is read on its first lookup.
  window->List()->SetAsLookup(program.AsTable());
  Phase("window");
  maps.LoadAtStartup(programDir + "maps", &boxes);
  mapsLoaded = true;
  Phase("maps");
  if (program.LoadLookupData(&geoMessages)) boxes.ShowDatabaseNeedsUpdate();
  tellFiles();
  program.StartLookups(resolver, {true, true, &waitCursor}, &window->Views());
  engine.SetLookups(&program.Lookups());
  window->SetRegistrantSource([](const hs::HopRecord& row) -> std::shared_ptr<const std::string> {
    const std::shared_ptr<const hs::DomainRecord> record = row.DomainRecordOf();
    return record ? record->answer : nullptr;
  });
  window->SetQuitOnLogClose(command.flags.startedByHost);
  window->SetListener([](std::string_view what, const QString& text) {
    EventLog::Instance().Write(what, text.toStdString());
  });
  engine.Sounds().SetEnabled(program.Settings().sound != 0);
  Phase("lookups");
  FirstPaintProbe firstPaint;
  if (std::getenv("HOPSIGHT_BENCH_FIRST_PAINT")) window->installEventFilter(&firstPaint);
  window->PlaceAndShow();
  Phase("shown");

  // The sounds come once the window is up (see ui/sound_plugin.cpp).
  const std::string soundDir = program.DataDir() + "/sound";
  QTimer::singleShot(0, [&engine, soundDir] {
    using Make = hs::SoundOutput* (*)(const char*);
    const std::string exe = hs::platform::ExecutableDirectory();
    for (const std::string& path : {exe + "libhopsight-sound.so", exe + "../lib/hopsight/libhopsight-sound.so"}) {
      QLibrary module(QString::fromStdString(path));
      if (auto make = reinterpret_cast<Make>(module.resolve("hopsight_make_sound_output"))) {
        engine.Sounds().SetOutput(make(soundDir.c_str()), soundDir);
        break;
      }
    }
  });
  // Without ICMP every hop would time out: say why instead.
  if (hs::platform::IcmpOpenResult probe = hs::platform::OpenIcmpEcho(); !probe.echo) {
    boxes.ShowOwnBox(hs::i18n::Tr(hs::text::kIcmpNotPermitted, probe.refusals, probe.program), hs::ui::UiText(hs::ui::TextId::IcmpUnavailableTitle).toStdString(),
                     hs::ui::kBoxTypeOk);
  }

  // The trace history of the command's trace; a trace handed over by another
  // start gets one of its own (the history of a run keeps every one it made,
  // since a stopped trace's thread may still read it).
  std::deque<std::unique_ptr<hs::TraceHistory>> histories;
  std::atomic<hs::TraceHistory*> currentHistory{nullptr};  // the one opened last
  auto historyFor = [&](const std::string& target, int mode) {
    histories.push_back(std::make_unique<hs::TraceHistory>(program.DataDir()));
    hs::TraceHistory* history = histories.back().get();
    return [&engine, &resolver, &currentHistory, &window, history, target, mode] {
      // Keyed by the target's address; resolving it may wait on the network.
      const uint32_t key = hs::Resolve(hs::ParseTarget(target, nullptr), resolver).value_or(0);
      history->Open(key, mode);
      engine.Context().history = history;
      currentHistory = history;
      // The list marks the hops that changed since the recorded trace.
      hs::ui::RecordedRoute recorded{key, {}, history->Record().time};
      for (const hs::TraceHopEntry& entry : history->Entries()) recorded.addresses.push_back(entry.address);
      hs::ui::ResultsList* list = window->List();
      QMetaObject::invokeMethod(list, [list, recorded] { list->SetRecordedRoute(recorded); }, Qt::QueuedConnection);
    };
  };
  engine.SetTargetText(command.target);
  window->StartTrace(historyFor(command.target, command.historyMode));

  // Requests of other starts, from now on.
  bool wizardOpen = false;
  RequestDesk desk([&](const hs::app::Request& request, std::function<void()> done) {
    switch (request.kind) {
      case hs::app::Request::NewTrace: {
        const hs::app::CommandLine handed = hs::app::ParseCommandLine(request.commandLine);
        if (handed.dispatch != hs::app::Dispatch::Trace) {
          window->HandOverTrace({}, {}, done);
        } else {
          window->HandOverTrace(handed.target, historyFor(handed.target, handed.historyMode), done);
        }
        return;
      }
      case hs::app::Request::SetHome:
        // Opened after this request is done: the wizard's own event loop
        // must not hold up the requests behind it. One wizard at a time.
        if (!wizardOpen) {
          QTimer::singleShot(0, window.get(), [&] {
            wizardOpen = true;
            EventLog::Instance().Write("wizard", "open");
            hs::ui::RunHomeLocationWizard(nullptr, wizard);
            EventLog::Instance().Write("wizard", "closed");
            wizardOpen = false;
          });
        }
        done();
        return;
      case hs::app::Request::LogClosing:
        // The window's closing ends any wizard's loop as well.
        if (window->HostLogClosing()) EndAllLoops();
        done();
        return;
    }
  });
  if (channel) {
    channel->Start([&desk](std::string packet) { desk.Deliver(packet); },
                   [](const std::string& why) { EventLog::Instance().Write("refused", why); });
  }
  QSocketNotifier terminate(hs::platform::TerminationSignalDescriptor(), QSocketNotifier::Read);
  QObject::connect(&terminate, &QSocketNotifier::activated, [] { EndAllLoops(); });
  // Closing the window ends the program, also while a wizard without an owner is open.
  CloseWatch closeWatch;
  window->installEventFilter(&closeWatch);
  EventLog::Instance().Write("ready", "trace");

  const int result = app->exec();

  // Shutdown 1: no more requests; every trace thread made stale, a moment for them to see it.
  channel.reset();
  engine.Shutdown();
  engine.Sounds().SetOutput(nullptr, {});
  boxes.Close();
  // The trace shown goes into the history (unless a fresh record was replayed)
  // once its own threads have ended; threads of traces it replaced may still
  // be out, but they no longer change the table.
  const bool traceEnded = window->WaitStartsIdle(std::chrono::milliseconds(50)) &&
                          engine.WaitCurrentRunEnded(std::chrono::milliseconds(200));
  hs::platform::FileError notRecorded;
  if (hs::TraceHistory* history = currentHistory.load();
      traceEnded && history && !history->Finish(engine.Table().Snapshot(), &notRecorded) && notRecorded.code != 0)
    program.NotRecorded(notRecorded);
  const bool idle = traceEnded && engine.WaitIdle(std::chrono::milliseconds(200));
  update.Finish(program.Settings().install);
  program.StopLookups();
  // Shutdown 2: settings (with the window's placement), caches, user locations.
  const hs::config::WindowPlacement placement = window->Placement();
  program.SaveFiles(&placement);
  // Shutdown 3: the window's resources.
  window.reset();
  // Shutdown 4: the location server list.
  program.SaveServerList();
  tellFiles();
  EventLog::Instance().Write("exit");
  if (!idle) {
    // A probe or a name lookup is still out; the files are saved, and the
    // threads hold nothing worth waiting for.
    std::fflush(nullptr);
    std::_Exit(result);
  }
  return result;
}
