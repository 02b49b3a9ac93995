// The home location wizard: three steps that fetch the location server's
// country list, let the user pick a country and a city, postcode or state,
// and ask the server where that is; and its advanced view, where the user
// types latitude and longitude over a picture of the world.
//
// The downloads run on a thread of their own: the dialog stays responsive
// and never touches the network itself. The rules are in home_wizard_core.h.
#pragma once

#include <QDialog>
#include <QImage>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "geo/location_servers.h"
#include "trace/records.h"
#include "ui/home_wizard_core.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace hs::map {
class MapTable;
}

namespace hs::ui {

// What the wizard needs of the program.
struct WizardServices {
  geo::LocationServerTable* servers = nullptr;
  std::function<GeoLocation()> home;
  std::function<void(const GeoLocation&)> setHome;
  // Opens a help page by topic; none: the Help buttons do nothing.
  std::function<void(const std::string& topic)> help;
  // The world map for the advanced view's picture, loaded on first use; null
  // or an empty table gives a plain picture with the grid.
  std::function<const map::MapTable*()> worldMap;
  // The program's own message box (questions and problems of the wizard),
  // the system box with a stop icon (the advanced view's checks) and the
  // location server client's "could not be contacted" box. Empty: the real
  // boxes; tests put recorders here.
  std::function<int(QWidget* owner, const QString& text, const QString& caption, int type)> ownBox;
  std::function<void(QWidget* owner, const QString& text, const QString& caption)> stopBox;
  std::function<void(QWidget* owner, const QString& text, const QString& caption)> contactError;
};

class AdvancedHomeView;

class HomeLocationWizardDialog : public QDialog {
 public:
  HomeLocationWizardDialog(QWidget* owner, WizardServices services);
  ~HomeLocationWizardDialog() override;

  int Step() const { return step_; }
  bool Busy() const { return busy_; }
  // The controls, for tests and screenshots.
  QLabel* Title() const { return title_; }
  QLabel* Text() const { return text_; }
  QLabel* Notice() const { return notice_; }
  QComboBox* Countries() const { return countries_; }
  QLineEdit* ZipEdit() const { return zip_; }
  QLineEdit* CityEdit() const { return city_; }
  QLineEdit* StateEdit() const { return state_; }
  QLabel* ZipLabel() const { return zipLabel_; }
  QLabel* CityLabel() const { return cityLabel_; }
  QLabel* StateLabel() const { return stateLabel_; }
  QPushButton* NextButton() const { return next_; }
  QPushButton* CancelButton() const { return cancel_; }
  QPushButton* AdvancedButton() const { return advanced_; }
  QPushButton* HelpButton() const { return helpButton_; }
  // Selects the country whose code is `code`; false when the list has none.
  bool SelectCountry(const std::string& code);
  // Set while the advanced view runs (tests drive it).
  AdvancedHomeView* OpenAdvancedView() const { return advancedView_; }

  void Next();
  // Cancel, the close box and Escape: asks, and restores the home location on Yes.
  void reject() override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  using Done = std::function<void(const geo::FetchResult&)>;
  // Runs one request off the window's thread and calls `done` back on it.
  void Fetch(geo::FetchRequest request, Done done);
  void EndFetch();
  void SetBusy(bool busy);
  void FillCountries(const std::string& answer);
  void ApplyLevel();
  void ShowStepTwo();
  void HandlePlaceAnswer(const std::string& answer);
  void ShowFinished();
  void Advanced();
  int Ask(const QString& text, const QString& caption, int type);
  void ContactError();

  WizardServices services_;
  GeoLocation saved_;  // the home location when the wizard opened
  int step_ = 1;
  bool busy_ = false;
  std::thread fetch_;
  std::atomic<bool> fetchWanted_{true};
  AdvancedHomeView* advancedView_ = nullptr;

  QImage side_;
  QLabel* title_;
  QLabel* text_;
  QLabel* countryLabel_;
  QComboBox* countries_;
  QLabel* notice_;
  QLabel* zipLabel_;
  QLineEdit* zip_;
  QLabel* cityLabel_;
  QLineEdit* city_;
  QLabel* stateLabel_;
  QLineEdit* state_;
  QPushButton* next_;
  QPushButton* cancel_;
  QPushButton* helpButton_;
  QPushButton* advanced_;
};

// The advanced view: latitude and longitude with their hemispheres, the
// world picture with a crosshair at the typed position.
class AdvancedHomeView : public QDialog {
 public:
  static constexpr int kPictureWidth = 269, kPictureHeight = 134;

  AdvancedHomeView(QWidget* owner, const WizardServices& services);

  QLineEdit* LatitudeEdit() const { return latitude_; }
  QLineEdit* LongitudeEdit() const { return longitude_; }
  QRadioButton* North() const { return north_; }
  QRadioButton* South() const { return south_; }
  QRadioButton* East() const { return east_; }
  QRadioButton* West() const { return west_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QWidget* Picture() const { return picture_; }
  DegreesInput Input() const;
  // The world picture at the device pixel ratio asked for (tests, screenshots).
  QImage WorldPicture(qreal devicePixelRatio) const;

  void accept() override;

 private:
  void Changed(QLineEdit* edit);

  const WizardServices& services_;
  QLineEdit* latitude_;
  QLineEdit* longitude_;
  QRadioButton* north_;
  QRadioButton* south_;
  QRadioButton* east_;
  QRadioButton* west_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QWidget* picture_;
};

// Runs the wizard modally and returns when it has ended.
void RunHomeLocationWizard(QWidget* owner, const WizardServices& services);

}  // namespace hs::ui
