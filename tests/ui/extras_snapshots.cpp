// ui-extras-snapshots OUTDIR: pictures of our additions to the window, from a
// scripted trace (nothing leaves the machine): the list with its AS column,
// the plausibility marks and a hop that changed since the recorded trace,
// and the map with the warning ring around a router placed in Sydney that
// answered a home in Berlin within 9 ms.
#include <QApplication>
#include <QTest>
#include <cstdio>

#include "asn/as_table.h"
#include "map/map_widget.h"
#include "scripted.h"
#include "ui/main_window.h"
#include "ui/results_list.h"

using namespace hs;

namespace {

struct Hop {
  const char* address;  // nullptr: silent
  const char* name;
  uint32_t rtt;
  GeoLocation where;
};

const Hop kRoute[] = {
    {"192.168.1.1", "fritz.box", 1, {}},
    {"62.157.140.133", "f-ed11-i.F.DE.NET.DTAG.DE", 5, {LocationSource::Database, 50.1109, 8.6821, 40}},
    {nullptr, nullptr, 0, {}},
    {"213.248.64.1", "ffm-bb2-link.ip.twelve99.net", 9, {LocationSource::Server, -33.8688, 151.2093, 160}},
    {"129.250.1.1", "ae-3.r20.frnkge13.de.bb.gin.ntt.net", 11, {LocationSource::Server, 50.1109, 8.6821, 160}},
    {"8.8.8.8", "dns.google", 12, {LocationSource::Server, 50.1109, 8.6821, 130}},
};

class Lookups final : public HopLookups {
 public:
  bool LookupHopName(HopRecord& row, bool, const CancellationWatch&) override {
    for (const Hop& h : kRoute)
      if (h.address && row.address == test::Ip(h.address)) {
        row.SetName(h.name);
        row.SetStage(HopStage::Settled);
        return true;
      }
    return HopLookups::LookupHopName(row, false, {});
  }
  bool LocateHop(HopRecord& row) override {
    for (const Hop& h : kRoute)
      if (h.address && row.address == test::Ip(h.address) && h.where.HasSource()) {
        row.SetLocation(h.where);
        return true;
      }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: ui-extras-snapshots DATA_DIR OUTDIR\n");
    return 2;
  }
  const std::string data = argv[1];
  const QString out = argv[2];
  test::ScriptedNetwork net;
  test::ScriptedResolver resolver;
  resolver.forward["dns.google"] = test::Ip("8.8.8.8");
  net.rttMs = 0;
  net.answer = [&](uint32_t dst, int ttl) -> test::Answer {
    if (ttl > 6) return platform::IcmpEchoReply{dst, IP_SUCCESS};  // the destination probe
    const Hop& h = kRoute[ttl - 1];
    if (!h.address) return std::nullopt;
    net.clock.now += h.rtt;  // the reply's round trip on the scripted clock
    return platform::IcmpEchoReply{test::Ip(h.address), ttl == 6 ? IP_SUCCESS : IP_TTL_EXPIRED_TRANSIT};
  };
  config::Settings settings;
  settings.startLocation = {LocationSource::Home, 52.52, 13.405, 240};  // Berlin
  TraceEngine::Platform p;
  p.openIcmp = [&] { return net.Open(); };
  p.resolver = &resolver;
  p.clock = [&] { return net.clock(); };
  p.sleep = [&](uint32_t ms) { net.clock.now += ms; };
  p.homeLocation = [&] { return settings.startLocation; };
  TraceEngine engine(std::move(p));
  Lookups lookups;
  engine.SetLookups(&lookups);
  map::MapTable maps;
  maps.LoadAll(HOPSIGHT_MAPS_DIR, nullptr);
  struct : ui::MessageBoxes {
    int ShowOwnBox(const std::string&, const std::string&, int) override { return 1; }
    void ShowTargetError(int) override {}
    void ShowDatabaseOpenFailed() override {}
    void ShowDatabaseInvalid(int) override {}
    void ShowDatabaseNeedsUpdate() override {}
    void ShowServersUnreachable() override {}
    bool AskNewVersion() override { return false; }
    bool ShowUpdateInformation(const std::string&) override { return false; }
  } boxes;
  ui::MainWindow window(engine, maps, nullptr, settings, boxes);
  asn::AsLookup as(data + "/ASN.idx");
  window.List()->SetAsLookup(&as);
  // Recorded an hour ago: the third router then was NTT's.
  ui::RecordedRoute recorded{test::Ip("8.8.8.8"), {0}, 1765000000};
  for (const char* a : {"192.168.1.1", "62.157.140.133", "0.0.0.0", "129.250.1.1", "129.250.1.1", "8.8.8.8"})
    recorded.addresses.push_back(test::Ip(a));
  window.List()->SetRecordedRoute(recorded);
  window.resize(1000, 720);
  window.show();
  engine.SetTargetText("dns.google");
  window.StartTrace();
  if (!QTest::qWaitFor([&] { return !window.TraceActive() && engine.WaitIdle({}); }, 20000)) return 1;
  QCoreApplication::processEvents();
  window.Activate(ui::kListItem);
  QCoreApplication::processEvents();
  if (!window.grab().save(out + "/extras-list.png")) return 1;
  window.Activate(ui::kMapItem);
  QCoreApplication::processEvents();
  if (!window.grab().save(out + "/extras-map.png")) return 1;
  engine.Shutdown();
  engine.WaitIdle(std::chrono::seconds(5));
  return 0;
}
