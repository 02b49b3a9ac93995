// ui-panel-snapshots OUTDIR: pictures of the Registrant and Network panels
// after a trace of the lab's route on a scripted network, whose last hop
// carries made-up WhoIs answers. The real program shows these panels once
// the WhoIs lookups are wired into it; until then this is how they look.
#include <QApplication>
#include <QTest>
#include <cstdio>

#include "scripted.h"
#include "ui/main_window.h"

using namespace hs;

namespace {

const char kNetwork[] =
    "NetRange:       198.18.0.0 - 198.19.255.255\n"
    "CIDR:           198.18.0.0/15\n"
    "NetName:        SPECIAL-IPV4-BENCHMARK-TESTING-IANA-RESERVED\n"
    "NetHandle:      NET-198-18-0-0-1\n"
    "NetType:        IANA Special Use\n"
    "OrgName:        Internet Assigned Numbers Authority\n"
    "OrgId:          IANA\n"
    "Address:        12025 Waterfront Drive\n"
    "City:           Los Angeles\n"
    "StateProv:      CA\n"
    "PostalCode:     90292\n"
    "Country:        US\n"
    "Comment:        This block has been allocated for use in benchmark tests\n"
    "Comment:        of network interconnect devices.\n";

const char kDomain[] =
    "Domain Name: LAB.TEST\n"
    "Registry Domain ID: 0000000_DOMAIN_TEST-LAB\n"
    "Registrar: Example Registrar, Inc.\n"
    "Registrant Name: Lab Operations\n"
    "Registrant Organization: HopSight Test Lab\n"
    "Registrant Street: 1 Loopback Lane\n"
    "Registrant City: Springfield\n"
    "Registrant Postal Code: 12345\n"
    "Registrant Country: US\n"
    "Name Server: NS1.LAB.TEST\n"
    "Name Server: NS2.LAB.TEST\n";

class Lookups final : public HopLookups {
 public:
  explicit Lookups(test::ScriptedResolver& r) : resolver_(r) {}
  bool LookupHopName(HopRecord& row, bool, const CancellationWatch&) override {
    auto name = resolver_.ReverseName(row.address);
    if (!name) return HopLookups::LookupHopName(row, false, {});
    row.SetName(*name);
    row.SetStage(HopStage::Settled);
    return true;
  }
  void StartNetworkLookup(const HopRef& row, const CancellationWatch&, const PendingQueries&) override {
    if (row->address == 0) return;
    row->SetWhoisText(std::make_shared<const std::string>(kNetwork));
    row->SetNetName("SPECIAL-IPV4-BENCHMARK-TESTING-IANA-RESERVED");
  }

 private:
  test::ScriptedResolver& resolver_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: ui-panel-snapshots OUTDIR\n");
    return 2;
  }
  const QString out = argv[1];
  const uint32_t target = test::Ip("198.18.7.2");
  test::ScriptedNetwork net;
  test::ScriptedResolver resolver;
  const char* routers[] = {"198.18.1.2", "198.18.2.2", nullptr, "198.18.4.2", "198.18.5.2", "198.18.6.2"};
  for (int i = 0; i < 6; ++i)
    if (routers[i]) resolver.reverse[test::Ip(routers[i])] = "r" + std::to_string(i + 1) + ".lab.test";
  resolver.reverse[target] = "target.lab.test";
  net.answer = [&](uint32_t dst, int ttl) -> test::Answer {
    if (ttl >= 7) return platform::IcmpEchoReply{dst, IP_SUCCESS};
    if (!routers[ttl - 1]) return std::nullopt;
    return platform::IcmpEchoReply{test::Ip(routers[ttl - 1]), IP_TTL_EXPIRED_TRANSIT};
  };
  TraceEngine::Platform p;
  p.openIcmp = [&] { return net.Open(); };
  p.resolver = &resolver;
  p.clock = [&] { return net.clock(); };
  p.sleep = [&](uint32_t ms) { net.clock.now += ms; };
  TraceEngine engine(std::move(p));
  Lookups lookups(resolver);
  engine.SetLookups(&lookups);
  map::MapTable maps;
  maps.LoadAll(HOPSIGHT_MAPS_DIR, nullptr);
  config::Settings settings;
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
  auto domain = std::make_shared<const std::string>(kDomain);
  ui::MainWindow window(engine, maps, nullptr, settings, boxes);
  window.SetRegistrantSource([&](const HopRecord& row) { return row.address == target ? domain : nullptr; });
  window.resize(1024, 640);
  window.show();
  engine.SetTargetText("target.lab.test");
  resolver.forward["target.lab.test"] = target;
  window.StartTrace();
  if (!QTest::qWaitFor([&] { return !window.TraceActive() && engine.WaitIdle({}); }, 20000)) return 1;
  QCoreApplication::processEvents();
  window.Activate(ui::kRegistrantItem);
  QCoreApplication::processEvents();
  if (!window.grab().save(out + "/window-registrant.png")) return 1;
  window.Activate(ui::kNetworkItem);
  QCoreApplication::processEvents();
  if (!window.grab().save(out + "/window-network.png")) return 1;
  engine.Shutdown();
  engine.WaitIdle(std::chrono::seconds(5));
  return 0;
}
