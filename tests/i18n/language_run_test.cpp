// A trace and the program's files in another language: the status line and
// the results list speak it, while the rows, --json and every file written
// stay the same as in English (the WhoIs server file's version comment is
// the one line in the user's language, and it reads back in each).
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "app/texts.h"
#include "cli/csv_report.h"
#include "cli/json_report.h"
#include "cli/texts.h"
#include "cli/whois_report.h"
#include "config/cache_file.h"
#include "config/settings.h"
#include "geo/location_servers.h"
#include "geo/user_locations.h"
#include "i18n/language.h"
#include "platform/resolver.h"
#include "scripted.h"
#include "trace/texts.h"
#include "trace/hop_cells.h"
#include "whois/server_table.h"

namespace hs::test {
namespace {

std::string ProgramDir() {
  const char* dir = std::getenv("HOPSIGHT_BUILD_DIR");
  return std::string(dir ? dir : ".") + "/bin";
}

void Use(std::string_view language) {
  if (language == "en") return i18n::UseEnglish();
  std::string why;
  ASSERT_TRUE(i18n::UseLanguage(ProgramDir(), language, &why)) << why;
}

class LanguageRun : public ::testing::Test {
 protected:
  ~LanguageRun() override { i18n::UseEnglish(); }
};

// Three routers, the second silent, then the target: the rows, the status
// texts the display saw, and the --json and --csv of the finished trace.
struct TraceResult {
  std::vector<std::pair<std::string, int>> shown;
  std::vector<std::string> names, nameCells;
  std::string title, json, csv;
};

TraceResult TraceOnce() {
  ScriptedNetwork net;
  ScriptedResolver resolver;
  ScriptedLookups lookups;
  RecordingStatus status;
  RecordingSounds sounds;
  const uint32_t target = Ip("198.18.9.1");
  net.answer = [](uint32_t dst, int ttl) -> Answer {
    if (ttl == 2) return std::nullopt;
    if (ttl >= 4) return platform::IcmpEchoReply{dst, IP_SUCCESS};
    return platform::IcmpEchoReply{htonl(0xC6120100u + uint32_t(ttl)), IP_TTL_EXPIRED_TRANSIT};
  };
  // The destination probe shares the fake clock: held until the end, it
  // cannot add its time to a hop's and make two runs differ.
  net.beforeReply = [&status, completed = std::string(i18n::Tr(text::kTraceCompleted))](const Send& s) {
    if (s.destinationProbe) WaitUntil([&] { return status.Showed(completed); });
  };
  resolver.forward["target.test"] = target;
  TraceEngine::Platform p;
  p.openIcmp = [&net] { return net.Open(); };
  p.resolver = &resolver;
  p.clock = [&net] { return net.clock(); };
  p.sleep = [&net](uint32_t ms) { net.clock.now += ms; };
  p.homeLocation = [] { return GeoLocation{}; };
  TraceEngine engine(std::move(p));
  RecordingViews views(engine.Table());
  engine.SetViews(&views);
  engine.SetLookups(&lookups);
  engine.Status().SetDisplay(&status);
  engine.Sounds().SetOutput(&sounds, "/sounds");
  engine.SetTargetText("target.test");
  EXPECT_TRUE(engine.StartTrace());
  EXPECT_TRUE(engine.WaitIdle(std::chrono::seconds(20)));
  TraceResult r;
  r.shown = status.Shown();
  r.title = views.Title();
  for (const HopRef& row : engine.Table().Snapshot()) {
    r.names.push_back(row->Name());
    r.nameCells.push_back(HopCellText(*row, HopColumn::Name));
  }
  r.json = cli::TraceToJson(engine.Context(), engine.Table().Snapshot(),
                            engine.Status().LastText() == i18n::Tr(text::kTraceCompleted), nullptr);
  r.csv = cli::TraceToCsv(engine.Table().Snapshot());
  engine.Shutdown();
  return r;
}

TEST_F(LanguageRun, StatusAndListSpeakTheLanguageWhileRowsAndJsonStayEnglish) {
  Use("en");
  const TraceResult english = TraceOnce();
  ASSERT_EQ(english.names.size(), 5u);
  EXPECT_EQ(english.names[2], "No Response");
  EXPECT_EQ(english.shown.back().first, "Trace completed");

  Use("de");
  const TraceResult german = TraceOnce();
  EXPECT_EQ(german.names, english.names);          // rows keep the English status text
  EXPECT_EQ(german.nameCells[2], "Keine Antwort");  // the list shows it in German
  EXPECT_EQ(german.nameCells[4], "target.test");
  EXPECT_EQ(german.json, english.json);            // "completed": true, "name": "No Response"
  EXPECT_EQ(german.csv, english.csv);
  EXPECT_NE(german.csv.find("No Response"), std::string::npos);
  EXPECT_NE(german.json.find("\"completed\":true"), std::string::npos);
  EXPECT_EQ(german.title, "Routenverfolgung: target.test (198.18.9.1)");
  // Every status text is German: none of the English ones shows.
  std::set<std::string> englishTexts;
  for (const auto& [text, position] : english.shown) englishTexts.insert(text);
  bool pinged = false;
  for (const auto& [text, position] : german.shown) {
    EXPECT_EQ(englishTexts.count(text), 0u) << text;
    pinged |= text.rfind("Ping an Knoten #", 0) == 0;
  }
  EXPECT_TRUE(pinged);
  EXPECT_EQ(german.shown.back(), std::make_pair(std::string("Routenverfolgung abgeschlossen"), 0));
}

// --- Files -------------------------------------------------------------------

struct Files {
  std::string settings, caches, servers, userLocations, whois;
};

Files WriteAll() {
  Files f;
  config::Settings s;
  s.window = {10, 20, 810, 620};
  s.install = {1700000000, 12345, 1700000100};
  s.startLocation = GeoLocation{LocationSource::Home, 48.137154, 11.576124, 130};
  f.settings = config::FormatSettings(s, false);
  config::Caches c;
  c.names.Insert(platform::DottedToAddress("198.18.1.1"), "router.example.net", 1700000000);
  c.whois.Store("example.net", "Domain: example.net\n\nOwner: X", 1700000002);
  c.locations.Insert("router.example.net", GeoLocation{LocationSource::Server, 48.8566, -2.3522, 130}, 1700000003);
  f.caches = config::FormatCacheFile(c);
  geo::ServerList list;
  list.lastTest = 1700000000;
  list.servers = {{true, "loc1.example", 120}, {true, "loc2.example", geo::kNoResponse}};
  f.servers = geo::FormatServerList(list);
  f.userLocations = geo::UserLocationsText({{"*.example.net", GeoLocation{LocationSource::None, -33.87, 151.21, 200}}});
  f.whois = whois::FormatWhoIsFile(whois::WhoIsServerTable::BuiltIn());
  return f;
}

std::string WithoutFirstLine(const std::string& text) { return text.substr(text.find('\n')); }

TEST_F(LanguageRun, EveryLanguageWritesTheSameFilesButTheWhoIsVersionComment) {
  Use("en");
  const Files english = WriteAll();
  for (std::string_view language : i18n::kLanguages) {
    Use(language);
    const Files f = WriteAll();
    EXPECT_EQ(f.settings, english.settings) << language;
    EXPECT_EQ(f.caches, english.caches) << language;
    EXPECT_EQ(f.servers, english.servers) << language;
    EXPECT_EQ(f.userLocations, english.userLocations) << language;
    EXPECT_EQ(WithoutFirstLine(f.whois), WithoutFirstLine(english.whois)) << language;
    EXPECT_EQ(f.whois.rfind("**Version:3000 <-- ", 0), 0u) << language << ": " << f.whois.substr(0, 40);
    // The version line says the number in any language, so it reads back.
    std::string changed = f.whois;
    changed.replace(10, 4, "3141");
    EXPECT_EQ(whois::ParseWhoIsFile(changed).version, 3141) << language;
  }
  Use("de");
  EXPECT_EQ(WriteAll().whois.substr(0, WriteAll().whois.find('\n')), "**Version:3000 <-- nicht ändern!**");
}

TEST_F(LanguageRun, DisplayFontComesFromTheLanguage) {
  Use("en");
  EXPECT_EQ(config::DisplayFontDefaults(), (config::DisplayFont{-12, 400, 0, 0x20, "Arial"}));
  Use("ja");
  EXPECT_EQ(config::DisplayFontDefaults(), (config::DisplayFont{-12, 400, 128, 0x20, "Noto Sans CJK JP"}));
  Use("fr");
  EXPECT_EQ(config::DisplayFontDefaults().face, "Arial");
}

// --- hopsight-trace's own texts ----------------------------------------------

TEST_F(LanguageRun, CommandLineTextsLineUpByTerminalColumns) {
  using cli::text::DisplayWidth;
  EXPECT_EQ(DisplayWidth("Keine Antwort"), 13u);
  EXPECT_EQ(DisplayWidth("Réseau"), 6u);    // é is two bytes, one column
  EXPECT_EQ(DisplayWidth("応答なし"), 8u);  // wide letters take two
  EXPECT_EQ(DisplayWidth("IP アドレス"), 11u);
  EXPECT_EQ(cli::text::PadRight("名前", 6), "名前  ");
  EXPECT_EQ(cli::text::PadLeft("Réseau", 8), "  Réseau");
  EXPECT_EQ(cli::text::PadRight("longer than that", 4), "longer than that");

  Use("ja");
  cli::DestinationWhoIs texts;
  texts.network = "NetName: EXAMPLE\n";
  EXPECT_EQ(cli::FormatDestinationWhoIs(texts),
            "登録者\n------\n(応答なし)\n\nネットワーク\n------------\nNetName: EXAMPLE\n");
  platform::FileError error{"/data/HopSight.ini", "replace", EACCES};
  EXPECT_EQ(app::text::DescribeFileError(error).rfind("/data/HopSight.ini を置き換えられません: ", 0), 0u);
  Use("en");
  EXPECT_EQ(app::text::DescribeFileError(error), error.Describe());
}

}  // namespace
}  // namespace hs::test
