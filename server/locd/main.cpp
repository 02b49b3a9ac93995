// hopsight-locd: the location and update server that HopSight asks for hop
// positions, place lookups, the wizard's country list and update checks.
//
//   hopsight-locd [--listen ADDR:PORT] [--data DIR] [--mmdb FILE] [--override FILE]
//                 [--update SETTING] [--default-country CC] [--threads N] [--log FILE]
//
// Without --listen it listens where the program looks first (127.0.0.1:8053);
// without --data it reads ../share/hopsight-locd beside its own program, which
// is where the build puts the data and where an install puts it. With port 0
// the system picks one; the line "listening on ADDR:PORT" on standard output
// tells which.
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "server/locd/geodata.h"
#include "server/locd/service.h"
#include "server/wire/locwire.h"

namespace {

using namespace hs::locd;

const char kUsage[] =
    "usage: hopsight-locd [--listen ADDR:PORT] [--data DIR] [--mmdb FILE] [--override FILE]\n"
    "                     [--update current|new|new:URL|info:MESSAGE|URL|open:URL]\n"
    "                     [--default-country CC] [--threads N] [--log FILE]\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "hopsight-locd: %s\n%s", why.c_str(), kUsage);
  return 2;
}

// One line per request. Buffered, and flushed once a second by the main
// thread, so that logging costs no system call per request.
class RequestLog {
 public:
  explicit RequestLog(FILE* f) : file_(f) {}
  void Write(const httplib::Request& req, const httplib::Response& res) {
    char when[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::string target = req.target.substr(0, 1024);
    for (char& c : target)
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
    std::lock_guard lock(mutex_);
    std::fprintf(file_, "%s %s \"%s %s %s\" %d %zu\n", when, req.remote_addr.c_str(), req.method.c_str(),
                 target.c_str(), req.version.c_str(), res.status, res.body.size());
  }
  void Flush() {
    std::lock_guard lock(mutex_);
    std::fflush(file_);
  }

 private:
  std::mutex mutex_;
  FILE* file_;
};

bool SplitListen(const std::string& text, std::string& host, int& port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  std::string p = text.substr(colon + 1);
  if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoi(p);
  return port <= 65535;
}

std::string RawQuery(const std::string& target) {
  size_t q = target.find('?');
  return q == std::string::npos ? std::string() : target.substr(q + 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::string listen(hs::locwire::kCompanionAddress), dataDir, mmdbPath, overridePath, logPath;
  ServiceOptions options;
  int threads = 16;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!(v = value())) return Usage(arg + " needs a value (or is unknown)");
    if (arg == "--listen") listen = v;
    else if (arg == "--data") dataDir = v;
    else if (arg == "--mmdb") mmdbPath = v;
    else if (arg == "--override") overridePath = v;
    else if (arg == "--log") logPath = v;
    else if (arg == "--default-country") options.defaultCountry = v;
    else if (arg == "--threads") {
      threads = std::atoi(v);
      if (threads < 1 || threads > 512) return Usage("--threads must be 1-512");
    } else if (arg == "--update") {
      auto u = ParseUpdateSetting(v);
      if (!u) return Usage(std::string("bad --update setting: ") + v);
      options.update = *u;
    } else {
      return Usage("unknown option " + arg);
    }
  }
  std::string host;
  int port = 0;
  if (dataDir.empty()) {
    const std::string programDir = hs::platform::ExecutableDirectory();
    if (programDir.empty()) return Usage("cannot find this program's directory: give --data");
    dataDir = programDir + "../share/hopsight-locd";
  }
  if (!SplitListen(listen, host, port)) return Usage("--listen wants ADDR:PORT, got " + listen);

  std::string error;
  auto data = GeoData::Load(dataDir, &error);
  if (!data) return std::fprintf(stderr, "hopsight-locd: %s\n", error.c_str()), 1;
  if (!data->FindCountry(options.defaultCountry))
    return Usage("--default-country " + options.defaultCountry + " is not in the country list");
  if (!mmdbPath.empty()) {
    auto db = MmdbSource::Open(mmdbPath, &error);
    if (!db) return std::fprintf(stderr, "hopsight-locd: %s\n", error.c_str()), 1;
    data->SetCityDatabase(std::move(db));
  }
  if (!overridePath.empty()) {
    std::ifstream in(overridePath);
    std::stringstream text;
    text << in.rdbuf();
    auto table = in ? ReadOverrides(text.str(), &error) : std::nullopt;
    if (!in) error = "cannot read";
    if (!table) return std::fprintf(stderr, "hopsight-locd: %s: %s\n", overridePath.c_str(), error.c_str()), 1;
    data->SetOverrides(std::move(*table));
  }
  FILE* logFile = stderr;
  if (!logPath.empty() && logPath != "-") {
    logFile = std::fopen(logPath.c_str(), "a");
    if (!logFile) return std::fprintf(stderr, "hopsight-locd: cannot open log %s\n", logPath.c_str()), 1;
  }
  RequestLog log(logFile);
  LocService service(*data, options);

  // Signals go to a waiting thread; the handler context could not stop the server safely.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  httplib::Server server;
  // A thread serves one connection at a time; keep-alive clients hold theirs.
  server.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<size_t>(threads)); };
  server.set_keep_alive_max_count(100000);
  // Headers and body go out in separate writes; without this, Nagle and
  // delayed acknowledgements add 40 ms to every kept-alive answer.
  server.set_tcp_nodelay(true);
  server.set_read_timeout(10, 0);
  server.set_payload_max_length(64 * 1024);
  server.Get(".*", [&](const httplib::Request& req, httplib::Response& res) {
    Reply r = service.Handle(req.path, RawQuery(req.target), req.remote_addr);
    res.status = r.status;
    res.set_content(std::move(r.body), "text/plain");
  });
  server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) res.set_content("error " + std::to_string(res.status) + "\n", "text/plain");
  });
  server.set_logger([&](const httplib::Request& req, const httplib::Response& res) { log.Write(req, res); });

  int bound = port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  if (bound < 0) return std::fprintf(stderr, "hopsight-locd: cannot listen on %s\n", listen.c_str()), 1;
  std::fprintf(stderr, "hopsight-locd: %zu countries, %zu cities, %zu postcodes, %zu address ranges%s%s\n",
               data->CountryCount(), data->CityCount(), data->ZipCount(), data->RangeCount(),
               mmdbPath.empty() ? "" : ", city database ", mmdbPath.c_str());
  bool v6 = host.find(':') != std::string::npos;
  std::printf("listening on %s%s%s:%d\n", v6 ? "[" : "", host.c_str(), v6 ? "]" : "", bound);
  std::fflush(stdout);

  std::mutex stopMutex;
  std::condition_variable stopped;
  bool done = false;
  std::thread signalWaiter([&] {
    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.stop();
  });
  signalWaiter.detach();
  std::thread flusher([&] {
    std::unique_lock lock(stopMutex);
    while (!stopped.wait_for(lock, std::chrono::seconds(1), [&] { return done; })) log.Flush();
  });
  bool ok = server.listen_after_bind();
  {
    std::lock_guard lock(stopMutex);
    done = true;
  }
  stopped.notify_all();
  flusher.join();
  log.Flush();
  return ok ? 0 : 1;
}
