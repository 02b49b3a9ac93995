// hopsight-trace: the command-line tracer over the trace engine.
//
//   hopsight-trace [--json|--csv|--diff] [-n] [--timing] [--quiet] [--record|--replay] [--whois|--no-whois]
//                  [--no-geo] [--data-dir DIR] TARGET
//   hopsight-trace --location-servers [--data-dir DIR]
//   hopsight-trace --asn [--data-dir DIR] ADDRESS...
//
// Rows are printed as the trace finds them (the results list's columns, the
// hop's position and whether it agrees with the round-trip time, and its
// AS), status texts go to stderr, and --json or --csv prints the whole trace
// at the end. --diff prints what changed since the recorded trace of the
// target and records the new one. Network owners come from the WhoIs servers
// unless --no-whois; --whois prints the destination's Registrant and Network
// texts after the route. --asn looks addresses up in the AS table only.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <clocale>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/program.h"
#include "app/program_dir.h"
#include "asn/as_table.h"
#include "cli/csv_report.h"
#include "cli/json_report.h"
#include "cli/texts.h"
#include "cli/whois_report.h"
#include "geo/plausibility.h"
#include "i18n/language.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/icmp_echo.h"
#include "platform/resolver.h"
#include "trace/engine.h"
#include "trace/history.h"
#include "trace/hop_cells.h"
#include "trace/route_changes.h"
#include "trace/texts.h"
#include "whois/lookups.h"
#include "whois/query.h"
#include "whois/rir_index.h"

namespace {

std::atomic<int> interrupted{0};
void OnSignal(int) { interrupted = 1; }

using SteadyClock = std::chrono::steady_clock;

// Times every echo request, for --timing.
struct ProbeTimes {
  std::mutex lock;
  int64_t firstSendRealtimeNs = 0;  // wall clock, comparable with the caller's start time
  SteadyClock::time_point firstSend{};
  SteadyClock::time_point lastProbeEnd{};
  std::chrono::nanoseconds probeSum{0};
  int probes = 0;
};

class TimedEcho final : public hs::platform::IcmpEcho {
 public:
  TimedEcho(std::unique_ptr<hs::platform::IcmpEcho> inner, ProbeTimes& times, bool counted)
      : inner_(std::move(inner)), times_(times), counted_(counted) {}
  int SendEcho(uint32_t destination, uint8_t ttl, const void* data, uint16_t size, uint32_t timeoutMs,
               hs::platform::IcmpEchoReply* reply) override {
    const auto start = SteadyClock::now();
    if (counted_) {
      std::lock_guard g(times_.lock);
      if (times_.probes == 0 && times_.firstSendRealtimeNs == 0) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        times_.firstSendRealtimeNs = int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
        times_.firstSend = start;
      }
    }
    const int n = inner_->SendEcho(destination, ttl, data, size, timeoutMs, reply);
    if (counted_) {
      std::lock_guard g(times_.lock);
      times_.lastProbeEnd = SteadyClock::now();
      times_.probeSum += times_.lastProbeEnd - start;
      ++times_.probes;
    }
    return n;
  }

 private:
  std::unique_ptr<hs::platform::IcmpEcho> inner_;
  ProbeTimes& times_;
  bool counted_;
};

// The round-trip column is as wide as its title in the program's language.
size_t RoundTripWidth() {
  return std::max<size_t>(8, hs::cli::text::DisplayWidth(hs::HopColumnTitle(hs::HopColumn::RoundTrip)));
}

// Prints rows once the trace has passed them; the destination row, shown
// last while hops are still found, is printed when the route reaches it.
class PrintingViews final : public hs::TraceViews {
 public:
  PrintingViews(hs::TraceEngine& engine, bool printRows, const hs::geo::PlaceFile* places,
                const hs::asn::AsLookup* as)
      : engine_(engine), printRows_(printRows), places_(places), as_(as) {}

  void ShowRow(int) override { PrintNewRows(false); }
  void RefreshRows() override { PrintNewRows(false); }
  void TraceThreadEnded() override { PrintNewRows(true); }
  void ShowTargetError(int box) override {
    std::lock_guard g(lock_);
    refusedBox_ = box;
  }

  int RefusedBox() {
    std::lock_guard g(lock_);
    return refusedBox_;
  }
  // Rows whose name or network arrived after they were printed.
  bool ChangedSincePrinted() {
    std::lock_guard g(lock_);
    const auto rows = engine_.Table().Snapshot();
    for (size_t i = 0; i < rows.size() && i < printed_.size(); ++i)
      if (rows[i] && Line(rows, i) != printed_[i]) return true;
    return rows.size() != printed_.size();
  }
  void PrintHeaderOnce() {
    if (!printRows_ || headerPrinted_) return;
    headerPrinted_ = true;
    using hs::cli::text::PadLeft;
    using hs::cli::text::PadRight;
    using hs::HopColumn;
    const std::string header = PadRight(hs::HopColumnTitle(HopColumn::Number), 3) + " " +
                               PadRight(hs::HopColumnTitle(HopColumn::Address), 15) + " " +
                               PadRight(hs::HopColumnTitle(HopColumn::Name), 40) + " " +
                               PadLeft(hs::HopColumnTitle(HopColumn::RoundTrip), RoundTripWidth()) + "  " +
                               PadRight(hs::i18n::Tr(hs::cli::text::kLocation), 36) + " " +
                               PadRight(hs::i18n::Tr(hs::text::kColumnPlausible), 9) + " " +
                               PadRight(hs::i18n::Tr(hs::text::kColumnAs), 32) + " " +
                               hs::HopColumnTitle(HopColumn::Network);
    std::printf("%s\n", header.c_str());
  }
  void PrintAll() {
    std::lock_guard g(lock_);
    PrintHeaderOnce();
    const auto rows = engine_.Table().Snapshot();
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i]) std::printf("%s\n", Line(rows, i).c_str());
    std::fflush(stdout);
  }
  // The first view update at or after `t`: when a probe's row reached the views.
  SteadyClock::time_point FirstUpdateAfter(SteadyClock::time_point t) {
    std::lock_guard g(lock_);
    for (auto u : updates_)
      if (u >= t) return u;
    return t;
  }

  // The results list's columns, with the hop's place and where it came
  // from, whether that agrees with the round-trip time, and the hop's AS
  // before the network. Row 0 is the home the others are judged against.
  std::string Line(const std::vector<hs::HopRef>& rows, size_t i) const {
    using hs::HopCellText;
    using hs::HopColumn;
    using hs::cli::text::PadLeft;
    using hs::cli::text::PadRight;
    const hs::HopRecord& row = *rows[i];
    const hs::geo::PositionVerdict verdict =
        i == 0 || !rows[0] ? hs::geo::PositionVerdict{}
                           : hs::geo::JudgePosition(rows[0]->Location(), row.Location(), hs::geo::ShownRoundTrip(row));
    const std::string plausible = verdict.verdict == hs::geo::Plausibility::Plausible
                                      ? hs::i18n::Tr(hs::text::kPlausibleYes)
                                  : verdict.verdict == hs::geo::Plausibility::Implausible
                                      ? hs::i18n::Tr(hs::text::kPlausibleNo)
                                      : "-";
    std::optional<hs::asn::AsInfo> as;
    if (as_ && row.address != 0) as = as_->Find(row.address);
    // Padded by terminal columns, not bytes: translated names may hold
    // letters of two bytes or more, and Japanese ones take two columns.
    return PadRight(HopCellText(row, HopColumn::Number), 3) + " " + PadRight(HopCellText(row, HopColumn::Address), 15) +
           " " + PadRight(HopCellText(row, HopColumn::Name), 40) + " " +
           PadLeft(HopCellText(row, HopColumn::RoundTrip), RoundTripWidth()) + "  " +
           PadRight(hs::geo::LocationText(row.Location(), places_), 36) + " " + PadRight(plausible, 9) + " " +
           PadRight(as ? hs::asn::AsText(*as) : "-", 32) + " " + HopCellText(row, HopColumn::Network);
  }


 private:
  void PrintNewRows(bool final) {
    const auto now = SteadyClock::now();
    std::lock_guard g(lock_);
    if (updates_.size() < 4096) updates_.push_back(now);
    const auto rows = engine_.Table().Snapshot();
    size_t limit = rows.size();
    // While the destination row is shown it is not yet final: hops go before it.
    const auto run = engine_.CurrentRun();
    if (!final && run && run->destinationRowShown && limit > 0) --limit;
    for (size_t i = printed_.size(); i < limit; ++i) {
      if (!rows[i] || (!final && rows[i]->Stage() == hs::HopStage::Created)) break;
      printed_.push_back(Line(rows, i));
      PrintHeaderOnce();
      if (printRows_) std::printf("%s\n", printed_.back().c_str());
    }
    std::fflush(stdout);
  }

  hs::TraceEngine& engine_;
  bool printRows_;
  const hs::geo::PlaceFile* places_;
  const hs::asn::AsLookup* as_;
  std::mutex lock_;
  std::vector<std::string> printed_;
  int refusedBox_ = 0;
  bool headerPrinted_ = false;
  std::vector<SteadyClock::time_point> updates_;
};

// The location database loader's message boxes, as lines on stderr.
class StderrMessages final : public hs::geo::GeoMessages {
 public:
  void ShowMessage(std::string_view text, std::string_view caption) override {
    std::fprintf(stderr, "hopsight-trace: %.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()),
                 text.data());
  }
};

class StderrStatus final : public hs::StatusDisplay {
 public:
  explicit StderrStatus(bool quiet) : quiet_(quiet) {}
  void ShowStatus(const std::string& text, int) override {
    std::lock_guard g(lock_);
    if (quiet_ || text == last_ || text == " ") return;
    last_ = text;
    std::fprintf(stderr, "   %s\n", text.c_str());
  }

 private:
  bool quiet_;
  std::mutex lock_;
  std::string last_;
};

int Usage() {
  namespace t = hs::cli::text;
  const std::string usage = hs::i18n::Tr(t::kUsage);
  const std::string indent(hs::cli::text::DisplayWidth(usage), ' ');
  std::string out = usage + " hopsight-trace [--json|--csv|--diff] [-n] [--timing] [--quiet] [--record|--replay]\n" +
                    indent + "                [--whois|--no-whois] [--no-geo] [--data-dir DIR] TARGET\n" + indent +
                    " hopsight-trace --location-servers [--data-dir DIR]\n" + indent +
                    " hopsight-trace --asn [--data-dir DIR] ADDRESS...\n";
  // Each option, then its description; the description's further lines
  // start under its first.
  const struct {
    const char* option;
    hs::i18n::Text description;
  } options[] = {{"TARGET", t::kUsageTarget},     {"--json", t::kUsageJson},         {"--csv", t::kUsageCsv},
                 {"--diff", t::kUsageDiff},       {"-n", t::kUsageNoNames},          {"--timing", t::kUsageTiming},
                 {"--quiet", t::kUsageQuiet},     {"--record", t::kUsageRecord},     {"--replay", t::kUsageReplay},
                 {"--whois", t::kUsageWhois},     {"--no-whois", t::kUsageNoWhois},  {"--no-geo", t::kUsageNoGeo},
                 {"--location-servers", t::kUsageServers}, {"--asn", t::kUsageAsn}, {"--data-dir DIR", t::kUsageDataDir}};
  for (const auto& o : options) {
    std::string line = "  " + std::string(o.option);
    line += line.size() < 12 ? std::string(12 - line.size(), ' ') : std::string("  ");
    for (char c : std::string(hs::i18n::Tr(o.description))) line += c == '\n' ? std::string("\n            ") : std::string(1, c);
    out += line + "\n";
  }
  out += hs::i18n::Tr(t::kUsageProgramDir);
  std::fputs(out.c_str(), stderr);
  return 2;
}

// A dotted quad of four numbers 0-255 (255.255.255.255 included), in
// network byte order.
std::optional<uint32_t> DottedQuad(std::string_view text) {
  uint8_t bytes[4];
  for (int i = 0; i < 4; ++i) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    // Leading zeros are refused: some tools read them as octal.
    if (ec != std::errc() || value > 255 || end - text.data() > 3 || (text[0] == '0' && end - text.data() > 1))
      return std::nullopt;
    bytes[i] = uint8_t(value);
    text.remove_prefix(size_t(end - text.data()));
    if (i < 3) {
      if (text.empty() || text[0] != '.') return std::nullopt;
      text.remove_prefix(1);
    }
  }
  if (!text.empty()) return std::nullopt;
  uint32_t address;
  std::memcpy(&address, bytes, 4);
  return address;
}

// --asn: one line per address, from the AS table alone.
int PrintAsNumbers(const std::vector<std::string>& addresses, const std::string& dataDir) {
  hs::asn::AsLookup table(hs::app::ShippedFileDirectory(dataDir, hs::asn::kAsTableFileName) + "/" +
                          std::string(hs::asn::kAsTableFileName));
  int status = 0;
  for (const std::string& text : addresses) {
    const std::optional<uint32_t> address = DottedQuad(text);
    if (!address) {
      std::fprintf(stderr, "hopsight-trace: %s\n", hs::i18n::Tr(hs::cli::text::kNotAnAddress, text).c_str());
      status = 2;
      continue;
    }
    const std::optional<hs::asn::AsInfo> as = table.Find(*address);
    if (as) std::printf("%s %u %.*s\n", text.c_str(), as->asn, int(as->name.size()), as->name.data());
    else std::printf("%s -\n", text.c_str());
  }
  std::fflush(stdout);
  if (!table.Available() && !table.Error().empty()) {
    std::fprintf(stderr, "hopsight-trace: %s\n", hs::i18n::Tr(hs::cli::text::kAsTableNotRead, table.Error()).c_str());
    if (status == 0) status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // Messages in the language the environment asks for, with the system's
  // own reasons (file errors) in it too when its locale is there; numbers
  // keep the C locale.
  std::setlocale(LC_MESSAGES, "");
  hs::i18n::UseLanguage(hs::platform::ExecutableDirectory(), hs::i18n::LanguageFromEnvironment());
  bool json = false, csv = false, diff = false, timing = false, quiet = false, printWhois = false, noWhois = false;
  bool networkGeo = true, listServers = false, asnOnly = false, reverseNames = true;
  int historyMode = -1;  // none
  std::string target, dataDir = hs::app::ProgramDataDirectory();
  std::vector<std::string> asnAddresses;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") json = true;
    else if (arg == "--csv") csv = true;
    else if (arg == "--diff") diff = true;
    else if (arg == "-n") reverseNames = false;
    else if (arg == "--asn") asnOnly = true;
    else if (arg == "--record") historyMode = hs::TraceHistory::kRecord;
    else if (arg == "--replay") historyMode = hs::TraceHistory::kReplayIfRecorded;
    else if (arg == "--data-dir" && i + 1 < argc) dataDir = argv[++i];
    else if (arg == "--timing") timing = true;
    else if (arg == "--no-geo") networkGeo = false;
    else if (arg == "--location-servers") listServers = true;
    else if (arg == "--quiet") quiet = true;
    else if (arg == "--whois") printWhois = true;
    else if (arg == "--no-whois") noWhois = true;
    else if (arg == "-h" || arg == "--help") return Usage(), 0;
    else if (!arg.empty() && arg[0] == '-' && arg != "-") return Usage();
    else if (asnOnly) asnAddresses.push_back(arg);
    else if (target.empty()) target = arg;
    else return Usage();
  }
  if (asnOnly) {
    if (!target.empty() || asnAddresses.empty() || listServers) return Usage();
    return PrintAsNumbers(asnAddresses, dataDir);
  }
  // One report at a time; --diff records the trace itself.
  if (int(json) + int(csv) + int(diff) > 1 || (diff && historyMode >= 0)) return Usage();
  if (diff) historyMode = hs::TraceHistory::kRecord;
  if (listServers) {
    if (!target.empty()) return Usage();
    hs::geo::LocationServerTable servers;
    servers.Load(dataDir);
    for (const hs::geo::LocationServer& s : servers.Snapshot().servers)
      if (s.valid)
        std::printf("%s\t%s\n", s.host.c_str(), s.time == hs::geo::kNoResponse ? "-" : std::to_string(s.time).c_str());
    return 0;
  }
  if (target.empty()) return Usage();

  hs::platform::IcmpOpenResult probe = hs::platform::OpenIcmpEcho();
  if (!probe.echo) {
    std::fprintf(stderr, "hopsight-trace: %s\n",
                 hs::i18n::Tr(hs::text::kIcmpNotPermitted, probe.refusals, probe.program).c_str());
    return 3;
  }
  probe.echo.reset();

  // Ctrl-C during start-up (loading the data files) ends the run like one during the trace.
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  hs::app::Program program(dataDir);
  // Problems with the data files: each said once, on stderr.
  auto tell = [&program] {
    for (const std::string& message : program.TakeMessages())
      std::fprintf(stderr, "hopsight-trace: %s\n", message.c_str());
  };
  if (!hs::app::ProgramDirectoryProblem().empty())
    std::fprintf(stderr, "hopsight-trace: %s\n", hs::app::ProgramDirectoryProblem().c_str());
  program.LoadServerList();
  // There is no wizard without a window: hopsight /H sets the home location.
  hs::config::NoHomeLocationWizard noWizard;
  program.LoadSettings(noWizard, false);
  if (!program.HasHome() && !quiet)
    std::fprintf(stderr, "hopsight-trace: %s\n", hs::i18n::Tr(hs::cli::text::kNoHome));
  StderrMessages loaderMessages;
  program.LoadLookupData(&loaderMessages);
  tell();

  ProbeTimes times;
  hs::platform::SystemResolver systemResolver;
  hs::app::NoReverseNames numericResolver(systemResolver);
  hs::platform::Resolver& resolver = reverseNames ? static_cast<hs::platform::Resolver&>(systemResolver)
                                                  : numericResolver;
  hs::TraceEngine::Platform platform;
  platform.resolver = &resolver;
  platform.homeLocation = [&program] { return program.Home(); };
  // The controller's echoes are timed; the destination probe's (a second
  // facility opened on its own thread) are not part of the route's sum.
  std::atomic<int> opened{0};
  platform.openIcmp = [&]() -> std::unique_ptr<hs::platform::IcmpEcho> {
    auto result = hs::platform::OpenIcmpEcho();
    if (!result.echo) return nullptr;
    const bool controller = opened.fetch_add(1) == 0;
    return std::make_unique<TimedEcho>(std::move(result.echo), times, controller);
  };

  hs::TraceEngine engine(std::move(platform));
  const bool report = json || csv || diff;  // printed once the trace ends, not row by row
  PrintingViews views(engine, !report, program.Places(), program.AsTable());
  StderrStatus status(quiet);
  hs::app::Program::LookupOptions options;
  options.whois = !noWhois;
  options.networkGeo = networkGeo;
  options.reverseNames = reverseNames;
  program.StartLookups(resolver, options, &views);
  engine.SetLookups(&program.Lookups());
  engine.SetViews(&views);
  engine.Status().SetDisplay(&status);

  const auto processStart = SteadyClock::now();
  engine.SetTargetText(target);
  hs::TraceHistory history(program.DataDir());
  if (historyMode >= 0) {
    // Keyed by the target's address, so two host names never share a record.
    history.Open(hs::Resolve(hs::ParseTarget(target, nullptr), resolver).value_or(0), historyMode);
    engine.Context().history = &history;
  }
  // --diff compares with the route recorded before this trace.
  const std::vector<hs::TraceHopEntry> recorded = diff ? history.Entries() : std::vector<hs::TraceHopEntry>{};
  // At the end the trace shown goes into the history (unless a fresh record
  // was replayed), then the settings and the caches are saved.
  auto saveAtExit = [&](bool stopped) {
    // A stopped trace's controller may still be replaying from the history:
    // give it a moment to notice, and leave the history alone if it does not.
    // An interrupted --diff records nothing: it compared nothing either.
    const bool idle = (!stopped || engine.WaitIdle(std::chrono::milliseconds(200))) && !(diff && stopped);
    hs::platform::FileError notRecorded;
    if (historyMode >= 0 && idle && !history.Finish(engine.Table().Snapshot(), &notRecorded) &&
        notRecorded.code != 0) {
      program.NotRecorded(notRecorded);
    }
    program.StopLookups();
    program.SaveFiles();
    program.SaveServerList();
    tell();
  };
  if (!engine.StartTrace()) {
    program.StopLookups();
    program.SaveFiles();
    program.SaveServerList();
    tell();
    const int box = views.RefusedBox();
    std::fprintf(stderr, "hopsight-trace: %s\n",
                 hs::i18n::Tr(box == 2 ? hs::text::kErrorInvalidAddress : hs::text::kErrorNotResolved));
    return 2;
  }

  bool stopped = false;
  while (!engine.WaitIdle(std::chrono::milliseconds(50))) {
    if (interrupted && !stopped) {
      // Ctrl-C stops the trace like the Stop button; a probe still out is
      // not waited for.
      engine.StopTrace();
      engine.Status().SetStatus(std::string(hs::i18n::Tr(hs::text::kTraceInterrupted)), 0);
      stopped = true;
      break;
    }
  }

  const bool completed = engine.Status().LastText() == hs::i18n::Tr(hs::text::kTraceCompleted);
  if (json) {
    std::printf("%s\n", hs::cli::TraceToJson(engine.Context(), engine.Table().Snapshot(), completed,
                                             program.Places(), program.AsTable()).c_str());
  } else if (csv) {
    std::fputs(hs::cli::TraceToCsv(engine.Table().Snapshot(), program.Places(), program.AsTable()).c_str(), stdout);
  } else if (diff) {
    if (!stopped && recorded.empty()) {
      std::printf("%s\n", hs::i18n::Format(hs::text::kRouteNotRecorded, target).c_str());
    } else if (!stopped) {
      const std::vector<hs::RouteChange> changes = hs::CompareRoutes(recorded, engine.Table().Snapshot());
      for (const hs::RouteChange& change : changes) std::printf("%s\n", hs::RouteChangeLine(change).c_str());
      if (changes.empty()) std::printf("%s\n", hs::text::kRouteNoChange);
    }
  } else if (views.ChangedSincePrinted()) {
    // Names and networks arrive after the probes: show the finished route once more.
    std::printf("\n");
    views.PrintAll();
  }
  program.CheckAsTable();
  if (printWhois && !report) {
    std::printf("\n%s", hs::cli::FormatDestinationWhoIs(
                            hs::cli::DestinationWhoIsTexts(engine.Context(), engine.Table().Snapshot())).c_str());
  }
  std::fflush(stdout);

  if (timing) {
    std::lock_guard g(times.lock);
    const auto lastRow = views.FirstUpdateAfter(times.lastProbeEnd);
    const double toLastRowMs =
        std::chrono::duration<double, std::milli>(lastRow - times.firstSend).count();
    const double probeMs = std::chrono::duration<double, std::milli>(times.probeSum).count();
    const int hops = std::max(1, engine.Table().RowCount() - 1);
    std::fprintf(stderr,
                 "timing: first-probe-unix-ns=%lld start-to-first-probe-ms=%.3f probes=%d hops=%d "
                 "first-probe-to-last-row-ms=%.3f probe-sum-ms=%.3f overhead-per-hop-ms=%.4f\n",
                 static_cast<long long>(times.firstSendRealtimeNs),
                 std::chrono::duration<double, std::milli>(times.firstSend - processStart).count(), times.probes,
                 hops, toLastRowMs, probeMs, (toLastRowMs - probeMs) / hops);
  }

  saveAtExit(stopped);
  if (stopped) {
    std::fflush(nullptr);
    std::_Exit(130);  // the engine's threads may still wait for an echo
  }
  return completed ? 0 : 1;
}
