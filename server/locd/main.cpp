// hopsight-locd: the location and update server that HopSight asks for hop
// positions, place lookups, the wizard's country list and update checks.
//
//   hopsight-locd [--listen ADDR:PORT] [--data DIR] [--mmdb FILE] [--override FILE]
//                 [--update SETTING] [--default-country CC] [--threads N] [--log FILE]
//                 [--max-connections N] [--max-per-address N]
//                 [--header-timeout SECONDS] [--idle-timeout SECONDS]
//
// Without --listen it listens where the program looks first (127.0.0.1:8053);
// without --data it reads ../share/hopsight-locd beside its own program, which
// is where the build puts the data and where an install puts it. With port 0
// the system picks one; the line "listening on ADDR:PORT" on standard output
// tells which.
#include <signal.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "i18n/language.h"
#include "platform/files.h"
#include "server/locd/geodata.h"
#include "server/locd/http_server.h"
#include "server/locd/service.h"
#include "server/locd/texts.h"
#include "server/wire/locwire.h"

namespace {

using namespace hs::locd;

// The synopsis; only its first word is a text.
std::string UsageText() {
  const std::string usage = hs::i18n::Tr(text::kUsage);
  std::string indent;
  for (char c : usage)
    if ((c & 0xC0) != 0x80) indent += ' ';  // one column a letter: the word has no wide letters
  return usage + " hopsight-locd [--listen ADDR:PORT] [--data DIR] [--mmdb FILE] [--override FILE]\n" + indent +
         "               [--update current|new|new:URL|info:MESSAGE|URL|open:URL]\n" + indent +
         "               [--default-country CC] [--threads N] [--log FILE]\n" + indent +
         "               [--max-connections N] [--max-per-address N]\n" + indent +
         "               [--header-timeout SECONDS] [--idle-timeout SECONDS]\n";
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "hopsight-locd: %s\n%s", why.c_str(), UsageText().c_str());
  return 2;
}

void Say(const std::string& message) { std::fprintf(stderr, "hopsight-locd: %s\n", message.c_str()); }

bool SplitListen(const std::string& text, std::string& host, uint16_t& port) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  host = text.substr(0, colon);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  uint64_t p = 0;
  if (!hs::locwire::ParseUnsigned(std::string_view(text).substr(colon + 1), p) || p > 65535) return false;
  port = static_cast<uint16_t>(p);
  return true;
}

// A whole number within [low, high], or nothing.
std::optional<uint64_t> Count(const char* text, uint64_t low, uint64_t high) {
  uint64_t v = 0;
  if (!hs::locwire::ParseUnsigned(text, v) || v < low || v > high) return std::nullopt;
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_MESSAGES, "");
  hs::i18n::UseLanguage(hs::platform::ExecutableDirectory(), hs::i18n::LanguageFromEnvironment());
  std::string listen(hs::locwire::kCompanionAddress), dataDir, mmdbPath, overridePath, logPath;
  ServiceOptions options;
  HttpOptions http;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    const char* v = nullptr;
    if (arg == "--help" || arg == "-h") {
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    }
    if (!(v = value())) return Usage(hs::i18n::Tr(text::kNeedsValue, arg));
    if (arg == "--listen") listen = v;
    else if (arg == "--data") dataDir = v;
    else if (arg == "--mmdb") mmdbPath = v;
    else if (arg == "--override") overridePath = v;
    else if (arg == "--log") logPath = v;
    else if (arg == "--default-country") options.defaultCountry = v;
    else if (arg == "--threads") {
      auto n = Count(v, 1, 256);
      if (!n) return Usage(hs::i18n::Tr(text::kCountRange, arg, 1, 256));
      http.workers = *n;
    } else if (arg == "--max-connections") {
      auto n = Count(v, 1, 1000000);
      if (!n) return Usage(hs::i18n::Tr(text::kCountRange, arg, 1, 1000000));
      http.limits.maxConnections = *n;
    } else if (arg == "--max-per-address") {
      auto n = Count(v, 1, 1000000);
      if (!n) return Usage(hs::i18n::Tr(text::kCountRange, arg, 1, 1000000));
      http.limits.maxPerAddress = *n;
    } else if (arg == "--header-timeout" || arg == "--idle-timeout") {
      auto n = Count(v, 1, 3600);
      if (!n) return Usage(hs::i18n::Tr(text::kSecondsRange, arg, 1, 3600));
      (arg == "--header-timeout" ? http.limits.headerTimeout : http.limits.idleTimeout) = std::chrono::seconds(*n);
    } else if (arg == "--update") {
      auto u = ParseUpdateSetting(v);
      if (!u) return Usage(hs::i18n::Tr(text::kBadUpdate, v));
      options.update = *u;
    } else {
      return Usage(hs::i18n::Tr(text::kUnknownOption, arg));
    }
  }
  if (dataDir.empty()) {
    const std::string programDir = hs::platform::ExecutableDirectory();
    if (programDir.empty()) return Usage(hs::i18n::Tr(text::kNoProgramDirectory));
    dataDir = programDir + "../share/hopsight-locd";
  }
  if (!SplitListen(listen, http.host, http.port)) return Usage(hs::i18n::Tr(text::kBadListen, listen));

  std::string error;
  auto data = GeoData::Load(dataDir, &error);
  if (!data) return std::fprintf(stderr, "hopsight-locd: %s\n", error.c_str()), 1;
  if (!data->FindCountry(options.defaultCountry))
    return Usage(hs::i18n::Tr(text::kUnknownCountry, options.defaultCountry));
  if (!mmdbPath.empty()) {
    auto db = MmdbSource::Open(mmdbPath, &error);
    if (!db) return std::fprintf(stderr, "hopsight-locd: %s\n", error.c_str()), 1;
    data->SetCityDatabase(std::move(db));
  }
  if (!overridePath.empty()) {
    std::ifstream in(overridePath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto table = in ? ReadOverrides(text.str(), &error) : std::nullopt;
    if (!in) return Say(hs::i18n::Tr(text::kCannotRead, overridePath)), 1;
    if (!table) return std::fprintf(stderr, "hopsight-locd: %s: %s\n", overridePath.c_str(), error.c_str()), 1;
    data->SetOverrides(std::move(*table));
  }
  http.log = stderr;
  if (!logPath.empty() && logPath != "-") {
    http.log = std::fopen(logPath.c_str(), "a");
    if (!http.log) return Say(hs::i18n::Tr(text::kCannotOpenLog, logPath)), 1;
  }
  signal(SIGPIPE, SIG_IGN);
  // Every connection is a descriptor: take all the system allows.
  size_t descriptors = RaiseDescriptorLimit();

  LocService service(*data, options);
  auto server = HttpServer::Listen(
      http,
      [&service](std::string_view path, std::string_view query, std::string_view remote) {
        return service.Handle(path, query, remote);
      },
      &error);
  if (!server) return Say(hs::i18n::Tr(text::kCannotListen, listen, error)), 1;
  Say(hs::i18n::Tr(text::kLoaded, data->CountryCount(), data->CityCount(), data->ZipCount(), data->RangeCount(),
                   mmdbPath.empty() ? std::string() : hs::i18n::Tr(text::kCityDatabase, mmdbPath)));
  Say(hs::i18n::Tr(
      text::kLimits, server->maxConnections(), http.limits.maxPerAddress, descriptors,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(http.limits.headerTimeout).count()),
      static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(http.limits.idleTimeout).count()),
      http.workers));
  bool v6 = http.host.find(':') != std::string::npos;
  std::printf("listening on %s%s%s:%u\n", v6 ? "[" : "", http.host.c_str(), v6 ? "]" : "", unsigned(server->port()));
  std::fflush(stdout);
  server->Run();
  return 0;
}
