// The home location wizard driven as a user drives it, offscreen, against the
// companion server (hopsight-locd on loopback) and, for answers the companion
// never gives, a scripted server; the boxes are recorded instead of shown.
#include "ui/home_wizard.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <chrono>

#include "map/map_table.h"
#include "tests/geo/companion.h"
#include "tests/platform/scripted_http_server.h"
#include "ui/message_boxes.h"
#include "ui/texts.h"

namespace hs::ui {
namespace {

using hs::test::ScriptedHttpServer;

struct Box {
  QString text, caption;
  int type = -1;
};

// The program's side of the wizard: a home location, the servers, and the
// boxes it would have shown.
struct Harness {
  explicit Harness(const std::string& host) : servers(Quick()) {
    servers.Assign({0, {geo::LocationServer{true, host, 1}}});
    services.servers = &servers;
    services.home = [this] { return home; };
    services.setHome = [this](const GeoLocation& g) { home = g; };
    services.ownBox = [this](QWidget*, const QString& text, const QString& caption, int type) {
      boxes.push_back({text, caption, type});
      return answer;
    };
    services.stopBox = [this](QWidget*, const QString& text, const QString& caption) {
      boxes.push_back({text, caption, -1});
    };
    services.contactError = [this](QWidget*, const QString& text, const QString& caption) {
      boxes.push_back({text, caption, -2});
    };
  }
  static geo::LocationServerTable::Services Quick() {
    geo::LocationServerTable::Services s;
    s.connectTimeoutMs = 2000;
    s.transferTimeoutMs = 2000;
    return s;
  }

  geo::LocationServerTable servers;
  WizardServices services;
  GeoLocation home{LocationSource::Home, 51.5074, -0.1278, 200};
  std::vector<Box> boxes;
  int answer = kBoxOk;  // what every question of the program's box is answered
};

// Presses Next and lets the event loop run until the request is answered.
bool PressNext(HomeLocationWizardDialog& w) {
  w.Next();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (w.Busy() && std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return !w.Busy();
}

// A scripted server's country list: France suggested, levels 0 to 3.
std::string CountryList() { return "France|FR^Vatican City|VA|0^France|FR|2^Germany|DE|1^Japan|JP|3^"; }

TEST(HomeWizard, CompanionServerPlacesALevelZeroCountry) {
  hs::test::Companion companion;
  if (!companion.Started()) GTEST_SKIP() << companion.Why();
  Harness h(companion.Host());
  HomeLocationWizardDialog w(nullptr, h.services);
  EXPECT_EQ(w.Step(), 1);
  ASSERT_TRUE(PressNext(w));
  ASSERT_EQ(w.Step(), 2) << "the country list came from the companion server";
  EXPECT_GE(w.Countries()->count(), 5);

  // Level 0: no fields, the hint, and the country's default place is taken.
  ASSERT_TRUE(w.SelectCountry("VA"));
  EXPECT_TRUE(w.CityEdit()->isHidden());
  EXPECT_TRUE(w.ZipEdit()->isHidden());
  EXPECT_TRUE(w.StateEdit()->isHidden());
  EXPECT_FALSE(w.Notice()->isHidden());
  EXPECT_EQ(w.Notice()->text(), UiText(TextId(59)));
  ASSERT_TRUE(PressNext(w));
  EXPECT_EQ(w.Step(), 3) << (h.boxes.empty() ? QString() : h.boxes.back().text).toStdString();
  EXPECT_EQ(h.home.precision, 130);
  EXPECT_NEAR(h.home.latitude, 41.90268, 1e-4);
  EXPECT_NEAR(h.home.longitude, 12.45414, 1e-4);
  EXPECT_TRUE(w.Countries()->isHidden());
  EXPECT_EQ(w.NextButton()->text(), UiText(TextId::WizardFinish));
  EXPECT_TRUE(h.boxes.empty());
}

TEST(HomeWizard, PostcodeCountryAsksWithZipAndTheHiddenCity) {
  std::vector<std::string> paths;
  ScriptedHttpServer server([&](const std::string& target) {
    if (target == "/wiz.asp") return ScriptedHttpServer::Ok(CountryList());
    return ScriptedHttpServer::Ok("TVGS0,35.68,139.69");
  });
  Harness h(server.host());
  HomeLocationWizardDialog w(nullptr, h.services);
  ASSERT_TRUE(PressNext(w));
  ASSERT_EQ(w.Step(), 2);
  EXPECT_EQ(w.Countries()->currentText(), "France") << "the suggested country is selected";
  EXPECT_EQ(w.Countries()->itemText(0), "France") << "the list is sorted";
  // Level 3: only the postcode; a city typed while another level showed it still goes first.
  ASSERT_TRUE(w.SelectCountry("DE"));
  EXPECT_FALSE(w.CityEdit()->isHidden());
  EXPECT_EQ(w.Notice()->text(), UiText(TextId(60)));
  w.CityEdit()->setText("Tokyo");
  ASSERT_TRUE(w.SelectCountry("JP"));
  EXPECT_TRUE(w.CityEdit()->isHidden());
  EXPECT_FALSE(w.ZipEdit()->isHidden());
  EXPECT_TRUE(w.Notice()->isHidden());
  w.ZipEdit()->setText("100-0001");
  ASSERT_TRUE(PressNext(w));
  EXPECT_EQ(w.Step(), 3);
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].target, "/lookup/?country=JP&city=Tokyo&zip=100-0001");
  EXPECT_NE(server.Requests()[1].head.find("User-Agent: HopSight-Home-Wizard"), std::string::npos);
  EXPECT_EQ(h.home, (GeoLocation{LocationSource::Home, 35.68, 139.69, 130}));
}

TEST(HomeWizard, NotFoundAnswersStayOrOfferTheDefault) {
  std::string place = "TVGS2,0,0";
  ScriptedHttpServer server([&](const std::string& target) {
    return ScriptedHttpServer::Ok(target == "/wiz.asp" ? CountryList() : place);
  });
  Harness h(server.host());
  const GeoLocation before = h.home;
  HomeLocationWizardDialog w(nullptr, h.services);
  w.show();
  ASSERT_TRUE(PressNext(w));
  ASSERT_TRUE(w.SelectCountry("DE"));
  w.CityEdit()->setText("Atlantis");

  // No position: the message with OK, and the wizard stays.
  ASSERT_TRUE(PressNext(w));
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].text, "The city you entered is not found in our database.\n\nPlease edit your entry and try again.\n");
  EXPECT_EQ(h.boxes[0].caption, "Invalid Location");
  EXPECT_EQ(h.boxes[0].type, kBoxTypeOk);
  EXPECT_EQ(w.Step(), 2);
  EXPECT_EQ(h.home, before);

  // A position: offered; Cancel stays, OK takes it.
  place = "TVGS2,48.85,2.35";
  h.answer = kBoxCancel;
  ASSERT_TRUE(PressNext(w));
  ASSERT_EQ(h.boxes.size(), 2u);
  EXPECT_EQ(h.boxes[1].type, kBoxTypeOkCancel);
  EXPECT_TRUE(h.boxes[1].text.startsWith("The city you entered is not found in our database.\n\nPress 'OK' to use"));
  EXPECT_EQ(w.Step(), 2);
  EXPECT_EQ(h.home, before);
  h.answer = kBoxOk;
  ASSERT_TRUE(PressNext(w));
  EXPECT_EQ(w.Step(), 3);
  EXPECT_EQ(h.home, (GeoLocation{LocationSource::Home, 48.85, 2.35, 130}));

  // Abandoning now restores the home location of the opening, after asking; No keeps the wizard.
  h.answer = kBoxNo;
  w.reject();
  EXPECT_EQ(h.boxes.back().caption, "End Home Location Wizard");
  EXPECT_EQ(h.home.latitude, 48.85);
  EXPECT_TRUE(w.isVisible());
  EXPECT_EQ(w.Step(), 3);
  h.answer = kBoxYes;
  w.reject();
  EXPECT_EQ(h.home, before);
}

TEST(HomeWizard, ServerDownEndsTheWizardOrKeepsStepTwo) {
  // Nothing listens on port 1 of loopback: refused at once.
  Harness down("127.0.0.1:1");
  const GeoLocation before = down.home;
  HomeLocationWizardDialog w(nullptr, down.services);
  w.show();
  ASSERT_TRUE(PressNext(w));
  ASSERT_EQ(down.boxes.size(), 1u);
  EXPECT_EQ(down.boxes[0].type, -2) << "the client's could-not-be-contacted box";
  EXPECT_EQ(w.Step(), 1);
  EXPECT_FALSE(w.isVisible()) << "the wizard ended";
  EXPECT_EQ(down.home, before);

  // The place request fails (an error page is no answer): the same box, step 2 stays.
  ScriptedHttpServer server([&](const std::string& target) {
    return ScriptedHttpServer::Ok(target == "/wiz.asp" ? CountryList() : "<html>Active Server Page error</html>");
  });
  Harness h(server.host());
  HomeLocationWizardDialog w2(nullptr, h.services);
  ASSERT_TRUE(PressNext(w2));
  ASSERT_TRUE(PressNext(w2));
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].type, -2);
  EXPECT_EQ(w2.Step(), 2);
  EXPECT_EQ(h.home, before);
}

TEST(HomeWizard, AdvancedViewChecksAndTakesTypedDegrees) {
  Harness h("127.0.0.1:1");
  const GeoLocation before = h.home;
  AdvancedHomeView view(nullptr, h.services);
  // Opened on the current home location.
  EXPECT_EQ(view.LatitudeEdit()->text(), "51.507400");
  EXPECT_TRUE(view.North()->isChecked());
  EXPECT_TRUE(view.West()->isChecked());
  EXPECT_TRUE(view.OkButton()->isEnabled());

  view.LatitudeEdit()->setText("91");
  view.accept();
  ASSERT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.boxes[0].text, "Location Error");
  EXPECT_EQ(h.boxes[0].caption, "Bad Location Entered");
  EXPECT_EQ(h.home, before);
  EXPECT_EQ(view.result(), QDialog::Rejected) << "the view stays open";

  view.LatitudeEdit()->setText("45");
  view.South()->setChecked(true);
  view.LongitudeEdit()->setText("90");
  view.West()->setChecked(true);
  view.accept();
  EXPECT_EQ(h.boxes.size(), 1u);
  EXPECT_EQ(h.home, (GeoLocation{LocationSource::Home, -45, -90, 240}));
  EXPECT_EQ(view.result(), QDialog::Accepted);
}

TEST(HomeWizard, WorldPictureFromOurMapWithTheCrosshairAtTheTypedPlace) {
  Harness h("127.0.0.1:1");
  map::MapTable maps;
  maps.LoadAtStartup(HOPSIGHT_MAPS_DIR, nullptr);
  ASSERT_GT(maps.Count(), 0u);
  h.services.worldMap = [&maps] { return &maps; };
  h.home = GeoLocation{LocationSource::Home, 30, 60, 240};  // x = 179.5, y = 44.67
  AdvancedHomeView view(nullptr, h.services);
  const QImage shown = view.Picture()->grab().toImage();
  ASSERT_EQ(shown.size() / shown.devicePixelRatio(),
            QSize(AdvancedHomeView::kPictureWidth, AdvancedHomeView::kPictureHeight));
  auto red = [](const QImage& image, int x, int y) {
    const QColor c = image.pixelColor(x, y);
    return c.red() > 180 && c.green() < 80 && c.blue() < 80;
  };
  EXPECT_TRUE(red(shown, 179, 5));
  EXPECT_TRUE(red(shown, 10, 44) || red(shown, 10, 45));
  EXPECT_FALSE(red(shown, 60, 100));
  // The world itself: the picture is not one colour (land and sea).
  const QImage world = view.WorldPicture(1.0);
  EXPECT_NE(world.pixelColor(60, 100), world.pixelColor(179, 30)) << "Atlantic and Asia look alike";

  // Out of range: no crosshair.
  view.LatitudeEdit()->setText("95");
  const QImage out = view.Picture()->grab().toImage();
  EXPECT_FALSE(red(out, 179, 5));
}

}  // namespace
}  // namespace hs::ui
