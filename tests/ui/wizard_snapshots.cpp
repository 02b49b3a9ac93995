// ui-wizard-snapshots OUTDIR: pictures of every step of the home location
// wizard, the hint of a city-level country, a postcode country, the
// finished page, the advanced view with its crosshair and the wizard's
// boxes, against a scripted location server on loopback. Run under Xvfb by
// scripts/wizard-screenshots.sh.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "i18n/language.h"
#include "map/map_table.h"
#include "tests/platform/scripted_http_server.h"
#include "ui/home_wizard.h"
#include "ui/message_box.h"
#include "ui/message_boxes.h"
#include "ui/texts.h"

using namespace hs;
using hs::test::ScriptedHttpServer;

namespace {

const char kCountries[] =
    "United Kingdom|GB^Canada|CA|5^France|FR|1^Germany|DE|3^Italy|IT|3^Japan|JP|3^Monaco|MC|0^"
    "United Kingdom|GB|3^United States|US|2^Vatican City|VA|0^";

// In another language than English (LANGUAGE, LANG …) the pictures are
// named wizard-<language>-…, and only the pages worth comparing are taken.
std::string language = "en";

bool Save(QWidget& w, QString path) {
  if (language != "en") {
    static const char* const kPages[] = {"wizard-1-contact.png", "wizard-2-postcode.png", "wizard-3-finished.png",
                                         "wizard-advanced.png"};
    if (std::none_of(std::begin(kPages), std::end(kPages), [&](const char* page) { return path.endsWith(page); }))
      return true;
    path.replace(QStringLiteral("/wizard-"), QStringLiteral("/wizard-%1-").arg(QString::fromStdString(language)));
  }
  w.show();
  w.raise();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
  while (std::chrono::steady_clock::now() < deadline) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  const bool ok = w.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
  return ok;
}

bool WaitIdle(ui::HomeLocationWizardDialog& w) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (w.Busy() && std::chrono::steady_clock::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  return !w.Busy();
}

// A box as the wizard shows it, pictured and closed again.
void SaveBox(const QString& path, const QString& text, const QString& caption, int type) {
  QTimer::singleShot(400, [path] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (auto* box = qobject_cast<QDialog*>(w); box && box->isVisible() && box->isModal()) {
        const bool ok = box->grab().save(path);
        std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
        box->done(0);
        return;
      }
    }
  });
  ui::ShowOwnMessageBox(nullptr, text, caption, type);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ui-wizard-snapshots MAPS_DIR OUTDIR\n");
    return 2;
  }
  QApplication app(argc, argv);
  // The catalogues are in the build's bin/, beside this program's tests/.
  language = i18n::LanguageFromEnvironment();
  if (!i18n::UseLanguage(QCoreApplication::applicationDirPath().toStdString() + "/../bin", language)) language = "en";
  const QString out = QString::fromLocal8Bit(argv[2]) + "/";
  ScriptedHttpServer server([](const std::string& target) {
    if (target == "/wiz.asp") return ScriptedHttpServer::Ok(kCountries);
    return ScriptedHttpServer::Ok("TVGS0,51.50853,-0.12574");
  });
  geo::LocationServerTable servers;
  servers.Assign({0, {geo::LocationServer{true, server.host(), 1}}});
  map::MapTable maps;
  maps.LoadAtStartup(argv[1], nullptr);
  GeoLocation home;
  ui::WizardServices services;
  services.servers = &servers;
  services.home = [&home] { return home; };
  services.setHome = [&home](const GeoLocation& g) { home = g; };
  services.worldMap = [&maps] { return &maps; };
  services.contactError = [](QWidget*, const QString&, const QString&) {};

  bool ok = true;
  {
    ui::HomeLocationWizardDialog w(nullptr, services);
    ok &= Save(w, out + "wizard-1-contact.png");
    w.Next();
    ok &= WaitIdle(w);
    ok &= Save(w, out + "wizard-2-country.png");
    w.SelectCountry("FR");
    w.CityEdit()->setText("Lyon");
    ok &= Save(w, out + "wizard-2-city.png");
    w.SelectCountry("CA");
    w.CityEdit()->setText("Ottawa");
    w.StateEdit()->setText("Ontario");
    ok &= Save(w, out + "wizard-2-city-state.png");
    w.SelectCountry("GB");
    w.ZipEdit()->setText("WC2N 5DU");
    ok &= Save(w, out + "wizard-2-postcode.png");
    w.Next();
    ok &= WaitIdle(w);
    ok &= Save(w, out + "wizard-3-finished.png");
    w.hide();
  }
  {
    ui::AdvancedHomeView view(nullptr, services);
    ok &= Save(view, out + "wizard-advanced.png");
    view.LatitudeEdit()->setText("95");
    ok &= Save(view, out + "wizard-advanced-out-of-range.png");
    view.hide();
  }
  if (language != "en") return ok ? 0 : 1;  // the boxes only in English
  SaveBox(out + "wizard-box-not-found.png",
          ui::UiText(ui::TextId::WizardEditEntry, ui::UiText(ui::TextId(20))),
          ui::UiText(ui::TextId::WizardInvalidLocation), ui::kBoxTypeOk);
  SaveBox(out + "wizard-box-end.png", ui::UiText(ui::TextId::WizardEndQuestion), ui::UiText(ui::TextId::WizardEndTitle),
          ui::kBoxTypeYesNo);
  {
    // The advanced view's check: the system's box with a stop icon.
    QMessageBox box(QMessageBox::Critical, ui::UiText(ui::TextId::BadLocationEntered),
                    ui::UiText(ui::TextId::LocationError), QMessageBox::Ok);
    ok &= Save(box, out + "wizard-box-bad-location.png");
  }
  return ok ? 0 : 1;
}
