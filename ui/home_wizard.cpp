#include "ui/home_wizard.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "i18n/language.h"
#include "map/language_font.h"
#include "map/map_renderer.h"
#include "map/map_table.h"
#include "map/map_view.h"
#include "server/wire/locwire.h"
#include "ui/artwork.h"
#include "ui/message_box.h"
#include "ui/message_boxes.h"
#include "ui/texts.h"
#include "ui/wire_text.h"

namespace hs::ui {
namespace {

constexpr int kWizardWidth = 620, kWizardHeight = 400;
// The side picture's own proportions (99 x 307).
constexpr double kSideAspect = 99.0 / 307.0;

std::string Utf8(const QString& s) { return s.toUtf8().toStdString(); }

QFont TitleFont() {
  // The face and script come from the language's texts; a face that is
  // missing or lacks the script's letters gives way to one that has them.
  QFont f = map::LanguageFont(UiText(TextId::WizardTitleFace), UiText(TextId::WizardTitleCharSet).toInt());
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(17);
  f.setWeight(QFont::Bold);
  return f;
}

// The picture in the advanced view: the world with a crosshair at the
// position typed below it.
class WorldPictureWidget : public QWidget {
 public:
  explicit WorldPictureWidget(AdvancedHomeView& view) : QWidget(&view), view_(view) {
    setFixedSize(AdvancedHomeView::kPictureWidth, AdvancedHomeView::kPictureHeight);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    const qreal ratio = devicePixelRatioF();
    if (picture_.isNull() || picture_.devicePixelRatio() != ratio) picture_ = view_.WorldPicture(ratio);
    QPainter p(this);
    p.drawImage(QPointF(0, 0), picture_);
    const Crosshair c = CrosshairFor(view_.Input());
    if (c.state == Crosshair::Shown) {
      QPen red(QColor(0xe0, 0x10, 0x10), 0);  // cosmetic: one device pixel at any ratio
      p.setPen(red);
      p.drawLine(QPointF(c.x, 0), QPointF(c.x, AdvancedHomeView::kPictureHeight));
      p.drawLine(QPointF(0, c.y), QPointF(AdvancedHomeView::kPictureWidth, c.y));
    } else if (c.state == Crosshair::OutOfRange) {
      // Said over the picture rather than in a box that would interrupt typing.
      const QRect band(0, height() / 2 - 12, width(), 24);
      p.fillRect(band, QColor(0, 0, 0, 150));
      p.setPen(QColor(0xff, 0x90, 0x80));
      QFont f = font();
      f.setBold(true);
      p.setFont(f);
      p.drawText(band, Qt::AlignCenter, UiText(TextId::LocationError));
    }
    p.setPen(QPen(palette().color(QPalette::Mid), 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0, 0, width() - 1.0 / ratio, height() - 1.0 / ratio));
  }

 private:
  AdvancedHomeView& view_;
  QImage picture_;
};

}  // namespace

// ------------------------------------------------------------------ the wizard

HomeLocationWizardDialog::HomeLocationWizardDialog(QWidget* owner, WizardServices services)
    : QDialog(owner), services_(std::move(services)) {
  setWindowTitle(UiText(TextId::WizardWindowTitle));
  setWindowIcon(ProgramIcon());
  setFixedSize(kWizardWidth, kWizardHeight);
  saved_ = services_.home ? services_.home() : GeoLocation{};

  title_ = new QLabel(this);
  title_->setFont(TitleFont());
  text_ = new QLabel(this);
  text_->setWordWrap(true);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  countryLabel_ = new QLabel(UiText(TextId::WizardCountry), this);
  countries_ = new QComboBox(this);
  countries_->setMaxVisibleItems(20);
  notice_ = new QLabel(this);
  notice_->setWordWrap(true);
  notice_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  QPalette noticePalette = notice_->palette();
  noticePalette.setColor(QPalette::WindowText, noticePalette.color(QPalette::PlaceholderText));
  notice_->setPalette(noticePalette);
  zipLabel_ = new QLabel(UiText(TextId::WizardZip), this);
  zip_ = new QLineEdit(this);
  cityLabel_ = new QLabel(UiText(TextId::WizardCity), this);
  city_ = new QLineEdit(this);
  stateLabel_ = new QLabel(UiText(TextId::WizardState), this);
  state_ = new QLineEdit(this);
  for (QLineEdit* e : {zip_, city_, state_}) e->setMaxLength(int(locwire::kWizardFieldLimit));
  zipLabel_->setBuddy(zip_);
  cityLabel_->setBuddy(city_);
  stateLabel_->setBuddy(state_);
  countryLabel_->setBuddy(countries_);

  helpButton_ = new QPushButton(UiText(TextId::Help), this);
  advanced_ = new QPushButton(UiText(TextId::WizardAdvanced), this);
  cancel_ = new QPushButton(UiText(TextId::Cancel), this);
  next_ = new QPushButton(UiText(TextId::WizardNext), this);
  next_->setDefault(true);
  for (QPushButton* b : {helpButton_, advanced_, cancel_}) b->setAutoDefault(false);

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(12);
  fields->setVerticalSpacing(8);
  fields->addWidget(countryLabel_, 0, 0);
  fields->addWidget(countries_, 0, 1);
  fields->addWidget(notice_, 1, 0, 1, 2);
  fields->addWidget(cityLabel_, 2, 0);
  fields->addWidget(city_, 2, 1);
  fields->addWidget(stateLabel_, 3, 0);
  fields->addWidget(state_, 3, 1);
  fields->addWidget(zipLabel_, 4, 0);
  fields->addWidget(zip_, 4, 1);
  fields->setColumnStretch(1, 1);

  auto* rule = new QFrame(this);
  rule->setFrameShape(QFrame::HLine);
  rule->setFrameShadow(QFrame::Sunken);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(helpButton_);
  buttons->addWidget(advanced_);
  buttons->addStretch(1);
  buttons->addWidget(cancel_);
  buttons->addWidget(next_);

  auto* column = new QVBoxLayout(this);
  const int side = int(std::lround(kWizardHeight * kSideAspect));
  column->setContentsMargins(side + 22, 22, 18, 14);
  column->setSpacing(10);
  column->addWidget(title_);
  column->addWidget(text_);
  column->addSpacing(4);
  column->addLayout(fields);
  column->addStretch(1);
  column->addWidget(rule);
  column->addLayout(buttons);

  connect(next_, &QPushButton::clicked, this, [this] { Next(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(advanced_, &QPushButton::clicked, this, [this] { Advanced(); });
  connect(helpButton_, &QPushButton::clicked, this, [this] {
    if (services_.help) services_.help("HspxHomeLocation");
  });
  connect(countries_, &QComboBox::currentIndexChanged, this, [this] { ApplyLevel(); });

  // Step one.
  title_->setText(UiText(TextId::WizardStepOneTitle));
  text_->setText(UiText(TextId::WizardIntro));
  for (QWidget* w : std::initializer_list<QWidget*>{countryLabel_, countries_, notice_, zipLabel_, zip_, cityLabel_,
                                                    city_, stateLabel_, state_})
    w->hide();
}

HomeLocationWizardDialog::~HomeLocationWizardDialog() {
  fetchWanted_ = false;
  if (fetch_.joinable()) fetch_.join();
}

void HomeLocationWizardDialog::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().window());
  const QSize side(int(std::lround(height() * kSideAspect)), height());
  if (side_.isNull() || side_.devicePixelRatio() != devicePixelRatioF() ||
      side_.size() != side * devicePixelRatioF())
    side_ = WizardSidePicture(side, devicePixelRatioF());
  p.drawImage(QPointF(0, 0), side_);
}

int HomeLocationWizardDialog::Ask(const QString& text, const QString& caption, int type) {
  if (services_.ownBox) return services_.ownBox(this, text, caption, type);
  return ShowOwnMessageBox(this, text, caption, type);
}

void HomeLocationWizardDialog::ContactError() {
  const QString text = QString::fromUtf8(i18n::Tr(geo::kContactErrorText));
  const QString caption = QString::fromUtf8(i18n::Tr(geo::kContactErrorTitle));
  if (services_.contactError) {
    services_.contactError(this, text, caption);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, this);
  box.setWindowIcon(ProgramIcon());
  box.exec();
}

void HomeLocationWizardDialog::SetBusy(bool busy) {
  busy_ = busy;
  next_->setEnabled(!busy);
  if (busy) setCursor(Qt::WaitCursor);
  else unsetCursor();
}

void HomeLocationWizardDialog::Fetch(geo::FetchRequest request, Done done) {
  if (fetch_.joinable()) fetch_.join();
  fetchWanted_ = true;
  SetBusy(true);
  request.capacity = geo::kWizardAnswerCapacity;
  request.userAgent = std::string(geo::kWizardUserAgent);
  // The box comes from this thread once the answer is in (ContactError).
  request.showError = false;
  request.stillWanted = [this] { return fetchWanted_.load(); };
  geo::LocationServerTable* servers = services_.servers;
  fetch_ = std::thread([this, servers, request = std::move(request), done = std::move(done)] {
    geo::FetchResult result = servers ? servers->FetchFromLocationServers(request) : geo::FetchResult{};
    QMetaObject::invokeMethod(
        this,
        [this, result = std::move(result), done] {
          EndFetch();
          if (fetchWanted_) done(result);
        },
        Qt::QueuedConnection);
  });
}

void HomeLocationWizardDialog::EndFetch() {
  if (fetch_.joinable()) fetch_.join();
  SetBusy(false);
}

void HomeLocationWizardDialog::Next() {
  if (busy_) return;
  if (step_ == 1) {
    notice_->setText(UiText(TextId::WizardDownloading));
    notice_->show();
    geo::FetchRequest request;
    request.path = std::string(kCountryListPath);
    request.verdict = [](std::string_view answer) { return CountryListVerdict(answer); };
    Fetch(std::move(request), [this](const geo::FetchResult& result) {
      if (!result.ok) {
        ContactError();
        QDialog::reject();  // ends as cancelled: the home location was not touched
        return;
      }
      FillCountries(result.answer);
      ShowStepTwo();
    });
  } else if (step_ == 2) {
    const uint32_t packed = countries_->currentData().toUInt();
    geo::FetchRequest request;
    request.path = WizardPlacePath(CountryCode(packed), CountryLevel(packed), Utf8(city_->text()),
                                   Utf8(zip_->text()), Utf8(state_->text()));
    request.verdict = [](std::string_view answer) { return WizardPlaceVerdict(answer); };
    Fetch(std::move(request), [this](const geo::FetchResult& result) {
      if (!result.ok) {
        ContactError();  // and stay on this step
        return;
      }
      HandlePlaceAnswer(result.answer);
    });
  } else {
    accept();
  }
}

void HomeLocationWizardDialog::FillCountries(const std::string& answer) {
  countries_->blockSignals(true);
  countries_->clear();
  std::optional<locwire::CountryList> list = locwire::ReadCountryList(answer);
  if (list) {
    std::vector<locwire::CountryEntry> entries = list->countries;
    // The list is shown sorted, whatever order the server sent.
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
      return FromWire(a.name).compare(FromWire(b.name), Qt::CaseInsensitive) < 0;
    });
    for (const locwire::CountryEntry& e : entries) countries_->addItem(FromWire(e.name), PackCountry(e.code, e.level));
    // The suggested country: the first entry that begins with its name.
    const QString suggested = FromWire(std::string_view(list->suggestedName).substr(0, 256));
    for (int i = 0; i < countries_->count(); ++i) {
      if (countries_->itemText(i).startsWith(suggested, Qt::CaseInsensitive)) {
        countries_->setCurrentIndex(i);
        break;
      }
    }
  }
  countries_->blockSignals(false);
}

bool HomeLocationWizardDialog::SelectCountry(const std::string& code) {
  for (int i = 0; i < countries_->count(); ++i) {
    if (CountryCode(countries_->itemData(i).toUInt()) == code) {
      countries_->setCurrentIndex(i);
      ApplyLevel();
      return true;
    }
  }
  return false;
}

void HomeLocationWizardDialog::ApplyLevel() {
  if (step_ != 2) return;
  const LevelFields f = FieldsForLevel(CountryLevel(countries_->currentData().toUInt()));
  cityLabel_->setVisible(f.city);
  city_->setVisible(f.city);
  zipLabel_->setVisible(f.zip);
  zip_->setVisible(f.zip);
  stateLabel_->setVisible(f.state);
  state_->setVisible(f.state);
  if (f.hint != 0) {
    notice_->setText(UiText(TextId(f.hint)));
    notice_->show();
  } else {
    notice_->hide();
  }
}

void HomeLocationWizardDialog::ShowStepTwo() {
  step_ = 2;
  notice_->hide();
  countryLabel_->show();
  countries_->show();
  text_->setText(UiText(TextId::WizardStepTwoText));
  title_->setText(UiText(TextId::WizardStepTwoTitle));
  ApplyLevel();
  countries_->setFocus();
}

void HomeLocationWizardDialog::HandlePlaceAnswer(const std::string& answer) {
  const PlaceOutcome outcome = ReadWizardPlaceAnswer(answer);
  if (outcome.action == PlaceOutcome::Retry) {
    Ask(UiText(TextId::WizardEditEntry, UiText(TextId(outcome.message))), UiText(TextId::WizardInvalidLocation),
        kBoxTypeOk);
    return;
  }
  if (outcome.action == PlaceOutcome::OfferDefault &&
      Ask(UiText(TextId::WizardUseDefault, UiText(TextId(outcome.message))), UiText(TextId::WizardInvalidLocation),
          kBoxTypeOkCancel) != kBoxOk)
    return;
  if (services_.setHome)
    services_.setHome(GeoLocation{LocationSource::Home, outcome.latitude, outcome.longitude, kServerHomePrecision});
  ShowFinished();
}

void HomeLocationWizardDialog::ShowFinished() {
  step_ = 3;
  text_->setText(UiText(TextId::WizardFinishText));
  title_->setText(UiText(TextId::WizardFinishTitle));
  for (QWidget* w : std::initializer_list<QWidget*>{notice_, countries_, zip_, city_, state_, countryLabel_,
                                                    zipLabel_, cityLabel_, stateLabel_})
    w->hide();
  next_->setText(UiText(TextId::WizardFinish));
  next_->setFocus();
}

void HomeLocationWizardDialog::reject() {
  if (Ask(UiText(TextId::WizardEndQuestion), UiText(TextId::WizardEndTitle), kBoxTypeYesNo) != kBoxYes) return;
  fetchWanted_ = false;
  if (fetch_.joinable()) fetch_.join();
  if (services_.setHome) services_.setHome(saved_);
  QDialog::reject();
}

void HomeLocationWizardDialog::Advanced() {
  if (Ask(UiText(TextId::WizardAdvancedQuestion), UiText(TextId::WizardAdvancedTitle), kBoxTypeYesNo) != kBoxYes)
    return;
  fetchWanted_ = false;
  if (fetch_.joinable()) fetch_.join();
  SetBusy(false);
  AdvancedHomeView view(this, services_);
  advancedView_ = &view;
  view.exec();
  advancedView_ = nullptr;
  accept();
}

// ------------------------------------------------------------- advanced view

AdvancedHomeView::AdvancedHomeView(QWidget* owner, const WizardServices& services)
    : QDialog(owner), services_(services) {
  setWindowTitle(UiText(TextId::AdvancedWindowTitle));
  setWindowIcon(ProgramIcon());

  auto* intro = new QLabel(UiText(TextId::AdvancedText), this);
  intro->setWordWrap(true);
  picture_ = new WorldPictureWidget(*this);
  latitude_ = new QLineEdit(this);
  longitude_ = new QLineEdit(this);
  for (QLineEdit* e : {latitude_, longitude_}) {
    e->setMaxLength(12);
    e->setFixedWidth(110);
  }
  north_ = new QRadioButton(UiText(TextId::AdvancedNorth), this);
  south_ = new QRadioButton(UiText(TextId::AdvancedSouth), this);
  east_ = new QRadioButton(UiText(TextId::AdvancedEast), this);
  west_ = new QRadioButton(UiText(TextId::AdvancedWest), this);
  auto* northSouth = new QButtonGroup(this);
  northSouth->addButton(north_);
  northSouth->addButton(south_);
  auto* eastWest = new QButtonGroup(this);
  eastWest->addButton(east_);
  eastWest->addButton(west_);
  auto* latitudeLabel = new QLabel(UiText(TextId::AdvancedLatitude), this);
  auto* longitudeLabel = new QLabel(UiText(TextId::AdvancedLongitude), this);
  latitudeLabel->setBuddy(latitude_);
  longitudeLabel->setBuddy(longitude_);

  auto* help = new QPushButton(UiText(TextId::Help), this);
  ok_ = new QPushButton(UiText(TextId::Ok), this);
  cancel_ = new QPushButton(UiText(TextId::Cancel), this);
  ok_->setDefault(true);
  help->setAutoDefault(false);
  cancel_->setAutoDefault(false);

  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->addWidget(latitudeLabel, 0, 0);
  grid->addWidget(latitude_, 0, 1);
  grid->addWidget(north_, 0, 2);
  grid->addWidget(south_, 0, 3);
  grid->addWidget(longitudeLabel, 1, 0);
  grid->addWidget(longitude_, 1, 1);
  grid->addWidget(east_, 1, 2);
  grid->addWidget(west_, 1, 3);
  grid->setColumnStretch(4, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(help);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(18, 16, 18, 14);
  column->setSpacing(10);
  column->addWidget(intro);
  column->addWidget(picture_, 0, Qt::AlignHCenter);
  column->addLayout(grid);
  column->addLayout(buttons);
  setFixedSize(sizeHint().expandedTo(QSize(kPictureWidth + 36, 0)));

  // Opening: the home location's magnitudes and hemispheres, when there is one.
  const GeoLocation home = services_.home ? services_.home() : GeoLocation{};
  const DegreesInput in = InputForHome(home);
  latitude_->setText(QString::fromStdString(in.latitude));
  longitude_->setText(QString::fromStdString(in.longitude));
  if (in.northSouth != Hemisphere::None) (in.northSouth == Hemisphere::Positive ? north_ : south_)->setChecked(true);
  if (in.eastWest != Hemisphere::None) (in.eastWest == Hemisphere::Positive ? east_ : west_)->setChecked(true);
  ok_->setEnabled(home.latitude != 0.0 || home.longitude != 0.0);

  connect(latitude_, &QLineEdit::textChanged, this, [this] { Changed(latitude_); });
  connect(longitude_, &QLineEdit::textChanged, this, [this] { Changed(longitude_); });
  for (QRadioButton* r : {north_, south_, east_, west_})
    connect(r, &QRadioButton::toggled, picture_, [this] { picture_->update(); });
  connect(ok_, &QPushButton::clicked, this, [this] { accept(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  connect(help, &QPushButton::clicked, this, [this] {
    if (services_.help) services_.help("HspxHomeLocAdvanced");
  });
}

DegreesInput AdvancedHomeView::Input() const {
  DegreesInput in;
  in.latitude = Utf8(latitude_->text());
  in.longitude = Utf8(longitude_->text());
  in.northSouth = north_->isChecked() ? Hemisphere::Positive : south_->isChecked() ? Hemisphere::Negative
                                                                                    : Hemisphere::None;
  in.eastWest = east_->isChecked() ? Hemisphere::Positive : west_->isChecked() ? Hemisphere::Negative
                                                                               : Hemisphere::None;
  return in;
}

void AdvancedHomeView::Changed(QLineEdit* edit) {
  ok_->setEnabled(!latitude_->text().isEmpty() && !longitude_->text().isEmpty());
  if (!IsDegreesText(Utf8(edit->text()))) QApplication::beep();
  picture_->update();
}

QImage AdvancedHomeView::WorldPicture(qreal ratio) const {
  const QSize device(int(std::lround(kPictureWidth * ratio)), int(std::lround(kPictureHeight * ratio)));
  const map::MapTable* maps = services_.worldMap ? services_.worldMap() : nullptr;
  QImage world;
  if (maps && maps->Count() > 0) {
    // The whole world at the finest power-of-two scale that is at least as
    // large as the picture, then scaled down smoothly: 0.75 pixels a degree.
    int32_t scale = 256;
    while (scale > 1 && map::kWorldWidth / (scale / 2) <= int32_t(std::lround(270 * ratio * 2))) scale /= 2;
    while (scale > 1 && map::kWorldWidth / scale < int32_t(std::lround(270 * ratio))) scale /= 2;
    map::MapView view;
    view.SetClient(map::kWorldWidth / scale, map::kWorldHeight / scale);
    view.currentMap = 0;
    view.scale = view.maxScale = scale;
    view.minScale = 2;
    view.left = 0;
    view.top = 0;
    view.right = map::kWorldWidth;
    view.bottom = map::kWorldHeight;
    view.centreX = map::kWorldWidth / 2;
    view.centreY = map::kWorldHeight / 2;
    QImage full(view.client.Width(), view.client.Height(), QImage::Format_RGB32);
    map::MapRenderer renderer(*maps, nullptr);
    renderer.DrawBaseMap(full, view, {});
    world = full.scaled(int(std::lround(270 * ratio)), int(std::lround(135 * ratio)), Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation);
  }
  QImage picture(device, QImage::Format_RGB32);
  picture.setDevicePixelRatio(ratio);
  QPainter p(&picture);
  if (!world.isNull()) {
    p.drawImage(QPointF(0, 0), world, QRectF(0, 0, device.width(), device.height()));
  } else {
    // No world map: the sea and a grid every thirty degrees still place the crosshair.
    p.fillRect(QRectF(0, 0, kPictureWidth, kPictureHeight), QColor(0x9c, 0xc4, 0xdc));
    p.setPen(QPen(QColor(255, 255, 255, 140), 0));
    for (int lon = -150; lon <= 150; lon += 30) p.drawLine(QPointF(lon * 0.75 + 134.5, 0), QPointF(lon * 0.75 + 134.5, kPictureHeight));
    for (int lat = -60; lat <= 60; lat += 30) p.drawLine(QPointF(0, 67 - lat * 67.0 / 90), QPointF(kPictureWidth, 67 - lat * 67.0 / 90));
  }
  return picture;
}

void AdvancedHomeView::accept() {
  const DegreesCheck check = CheckDegrees(Input());
  auto stop = [this](TextId caption) {
    if (services_.stopBox) {
      services_.stopBox(this, UiText(TextId::LocationError), UiText(caption));
      return;
    }
    QMessageBox box(QMessageBox::Critical, UiText(caption), UiText(TextId::LocationError), QMessageBox::Ok, this);
    box.setWindowIcon(ProgramIcon());
    box.exec();
  };
  switch (check.result) {
    case DegreesCheck::BadLocation: return stop(TextId::BadLocationEntered);
    case DegreesCheck::NoNorthSouth: return stop(TextId::SelectNorthOrSouth);
    case DegreesCheck::NoEastWest: return stop(TextId::SelectEastOrWest);
    case DegreesCheck::Accepted: break;
  }
  if (services_.setHome) services_.setHome(check.home);
  QDialog::accept();
}

void RunHomeLocationWizard(QWidget* owner, const WizardServices& services) {
  HomeLocationWizardDialog wizard(owner, services);
  wizard.exec();
}

}  // namespace hs::ui
