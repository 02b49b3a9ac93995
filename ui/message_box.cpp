#include "ui/message_box.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>

#include "map/language_font.h"
#include "ui/artwork.h"
#include "ui/texts.h"
#include "ui/wire_text.h"

namespace hs::ui {
namespace {

constexpr QEvent::Type kRunBoxes = QEvent::Type(QEvent::User + 31);

// The box's text, drawn with the same word wrap it was measured with.
class BoxText : public QWidget {
 public:
  BoxText(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(rect(), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text_);
  }

 private:
  QString text_;
};

QString WithoutMnemonic(QString caption) {
  caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
  return caption;
}

QRect Desktop(QWidget* owner) {
  QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

OwnMessageBox::OwnMessageBox(QWidget* owner, const QString& text, const QString& caption, int type)
    : QDialog(owner), type_(type & 0xF) {
  setWindowTitle(caption);
  setWindowIcon(ProgramIcon());
  setModal(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  setPalette(pal);
  setAutoFillBackground(true);

  QFont font = map::LanguageFont(UiText(TextId::BoxFontFace), UiText(TextId::BoxCharSet).toInt());
  font.setPixelSize(12);
  font.setWeight(QFont::Normal);
  setFont(font);
  const QFontMetrics fm(font);

  QStringList captions;
  if (type_ == kBoxTypeYesNo) captions = {UiText(TextId::Yes), UiText(TextId::No)};
  else if (type_ == kBoxTypeOkCancel) captions = {UiText(TextId::Ok), UiText(TextId::Cancel)};
  else captions = {UiText(TextId::Ok)};
  int buttonWidth = 0, buttonHeight = 0;
  for (const QString& c : captions) {
    buttonWidth = std::max(buttonWidth, fm.horizontalAdvance(WithoutMnemonic(c)) + 10);
    buttonHeight = std::max(buttonHeight, fm.height() + 8);
  }
  buttonWidth = std::max(buttonWidth, 75);
  buttonHeight = std::max(buttonHeight, 23);

  // The window manager draws the frame outside the client area, so the
  // frame widths of the sizing rules are 0 here.
  const QRect desktop = Desktop(owner);
  const int limit = desktop.width() * 60 / 100 - 28;
  const QRect measured = fm.boundingRect(QRect(0, 0, limit, 1 << 20), Qt::TextWordWrap | Qt::AlignLeft, text);
  const int buttons = int(captions.size());
  const int clientWidth = std::max(measured.width() + 28, (buttonWidth + 6) * buttons + 16);
  const int clientHeight = measured.height() + (buttonHeight + 14) + 25;
  setFixedSize(clientWidth, clientHeight);
  move((desktop.left() + desktop.right() + 1 - clientWidth) / 2,
       (desktop.top() + desktop.bottom() + 1 - clientHeight) / 2);

  textRect_ = QRect(14, 11, measured.width(), measured.height());
  auto* label = new BoxText(text, this);
  label->setGeometry(textRect_);

  const int y = clientHeight - buttonHeight - 14;
  first_ = new QPushButton(captions[0], this);
  first_->setDefault(true);
  first_->setAutoDefault(true);
  second_ = new QPushButton(buttons > 1 ? captions[1] : QString(), this);
  if (buttons == 1) {
    first_->setGeometry((clientWidth - buttonWidth) / 2, y, buttonWidth, buttonHeight);
    second_->hide();
  } else {
    const int x = (clientWidth - (2 * buttonWidth + 6)) / 2;
    first_->setGeometry(x, y, buttonWidth, buttonHeight);
    second_->setGeometry(x + buttonWidth + 6, y, buttonWidth, buttonHeight);
  }
  connect(first_, &QPushButton::clicked, this, [this] { done(type_ == kBoxTypeYesNo ? kBoxYes : kBoxOk); });
  connect(second_, &QPushButton::clicked, this, [this] {
    if (type_ == kBoxTypeOkCancel) done(kBoxCancel);
    else if (type_ == kBoxTypeYesNo) done(kBoxNo);
  });
}

void OwnMessageBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    // Escape is Cancel: a box with only OK has none.
    if (type_ == kBoxTypeOkCancel) done(kBoxCancel);
    else if (type_ == kBoxTypeYesNo) done(kBoxNo);
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void OwnMessageBox::closeEvent(QCloseEvent* event) {
  // The title bar's close box ends every kind of box with No.
  event->accept();
  done(kBoxNo);
}

int ShowOwnMessageBox(QWidget* owner, const QString& text, const QString& caption, int type) {
  OwnMessageBox box(owner, text, caption, type);
  return box.exec();
}

// Receives the wake-up that runs queued box requests on the window's thread.
class QtMessageBoxes::Receiver : public QObject {
 public:
  explicit Receiver(QtMessageBoxes& boxes) : boxes_(boxes) {}
  bool event(QEvent* e) override {
    if (e->type() != kRunBoxes) return QObject::event(e);
    boxes_.RunRequests();
    return true;
  }

 private:
  QtMessageBoxes& boxes_;
};

struct QtMessageBoxes::Request {
  std::function<int()> show;
  int result = 0;
  bool done = false;
};

QtMessageBoxes::QtMessageBoxes() : receiver_(std::make_unique<Receiver>(*this)) {}

QtMessageBoxes::~QtMessageBoxes() { Close(); }

void QtMessageBoxes::Close() {
  {
    std::lock_guard g(lock_);
    closing_ = true;
  }
  done_.notify_all();
}

int QtMessageBoxes::OnWindowThread(std::function<int()> show, int closed) {
  if (QThread::currentThread() == receiver_->thread()) {
    {
      std::lock_guard g(lock_);
      if (closing_) return closed;
    }
    return show();
  }
  auto request = std::make_shared<Request>();
  request->show = std::move(show);
  {
    std::lock_guard g(lock_);
    if (closing_) return closed;
    requests_.push_back(request);
  }
  QCoreApplication::postEvent(receiver_.get(), new QEvent(kRunBoxes));
  std::unique_lock g(lock_);
  done_.wait(g, [&] { return request->done || closing_; });
  return closing_ ? closed : request->result;
}

void QtMessageBoxes::RunRequests() {
  // One box at a time: a request that arrives while a box is open waits for
  // the loop below, not for the open box's own event loop.
  if (runningRequests_) return;
  runningRequests_ = true;
  for (;;) {
    std::shared_ptr<Request> request;
    {
      std::lock_guard g(lock_);
      if (requests_.empty() || closing_) break;
      request = requests_.front();
      requests_.pop_front();
    }
    const int result = request->show();
    {
      std::lock_guard g(lock_);
      request->result = result;
      request->done = true;
      request->show = nullptr;
    }
    done_.notify_all();
  }
  runningRequests_ = false;
}

int QtMessageBoxes::ShowOwnBox(const std::string& text, const std::string& caption, int type) {
  const QString t = FromWire(text), c = FromWire(caption);
  const int closed = (type & 0xF) == kBoxTypeOkCancel ? kBoxCancel : kBoxNo;
  return OnWindowThread([this, t, c, type] { return ShowOwnMessageBox(owner_, t, c, type); }, closed);
}

std::unique_ptr<QMessageBox> QtMessageBoxes::MakeTargetErrorBox(int box) {
  auto dialog = std::make_unique<QMessageBox>(owner_);
  dialog->setIcon(QMessageBox::Critical);
  dialog->setWindowTitle(UiText(TextId::ErrorTitle));
  dialog->setText(UiText(box == 2 ? TextId::ErrorInvalidAddress : TextId::ErrorNotResolved));
  dialog->addButton(QMessageBox::Ok)->setText(UiText(TextId::Ok));
  QPushButton* help = dialog->addButton(UiText(TextId::Help), QMessageBox::HelpRole);
  // Help opens the topic and leaves the box open: cut the button box's own
  // connection, which would close it.
  help->disconnect();
  QObject::connect(help, &QPushButton::clicked, dialog.get(), [this, box] {
    if (help_) help_("HspxErrs", box);
  });
  dialog->setDefaultButton(QMessageBox::Ok);
  return dialog;
}

void QtMessageBoxes::ShowTargetError(int box) {
  OnWindowThread([this, box] {
    MakeTargetErrorBox(box)->exec();
    return int(kBoxOk);
  }, kBoxNone);
}

namespace {

int SystemBox(QWidget* owner, QMessageBox::Icon icon, const QString& caption, const QString& text,
              bool okCancel) {
  QMessageBox box(icon, caption, text, okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, owner);
  box.setWindowIcon(ProgramIcon());
  // The program's own captions, in its language rather than Qt's.
  box.button(QMessageBox::Ok)->setText(UiText(TextId::Ok));
  if (okCancel) box.button(QMessageBox::Cancel)->setText(UiText(TextId::Cancel));
  return box.exec() == QMessageBox::Ok ? kBoxOk : kBoxCancel;
}

}  // namespace

void QtMessageBoxes::ShowDatabaseOpenFailed() {
  OnWindowThread([] {
    return SystemBox(nullptr, QMessageBox::NoIcon, UiText(TextId::ErrorTitle), UiText(TextId::DatabaseOpenFailed),
                     false);
  }, kBoxNone);
}

void QtMessageBoxes::ShowDatabaseInvalid(int code) {
  OnWindowThread([code] {
    return SystemBox(nullptr, QMessageBox::NoIcon, UiText(TextId::DatabaseInvalidTitle),
                     UiText(TextId::DatabaseInvalid, code), false);
  }, kBoxNone);
}

void QtMessageBoxes::ShowDatabaseNeedsUpdate() {
  OnWindowThread([this] {
    return SystemBox(owner_, QMessageBox::NoIcon, UiText(TextId::DatabaseNeedsUpdateTitle),
                     UiText(TextId::DatabaseNeedsUpdate), false);
  }, kBoxNone);
}

void QtMessageBoxes::ShowServersUnreachable() {
  OnWindowThread([this] {
    return SystemBox(owner_, QMessageBox::NoIcon, UiText(TextId::ServersUnreachableTitle),
                     UiText(TextId::ServersUnreachable), false);
  }, kBoxNone);
}

bool QtMessageBoxes::AskNewVersion() {
  return OnWindowThread([this] {
    return SystemBox(owner_, QMessageBox::Warning, UiText(TextId::NewVersionTitle), UiText(TextId::NewVersionText),
                     true);
  }, kBoxCancel) == kBoxOk;
}

bool QtMessageBoxes::ShowUpdateInformation(const std::string& message) {
  const QString text = FromWire(message);
  return OnWindowThread([this, text] {
    return SystemBox(owner_, QMessageBox::NoIcon, UiText(TextId::UpdateInformationTitle), text, true);
  }, kBoxCancel) == kBoxOk;
}

void QtMessageBoxes::ShowMessage(std::string_view text, std::string_view caption) {
  // The map loader names its boxes by their English texts; show them in the
  // program's language.
  QString t = FromWire(text), c = FromWire(caption);
  if (text == map::kWorldMapMissingText) {
    t = UiText(TextId::WorldMapMissingText);
    c = UiText(TextId::WorldMapMissingCaption);
  } else if (text == map::kNoMapsText) {
    t = UiText(TextId::NoMapsText);
    c = UiText(TextId::NoMapsCaption);
  }
  OnWindowThread([this, t, c] { return SystemBox(owner_, QMessageBox::NoIcon, c, t, false); }, kBoxNone);
}

}  // namespace hs::ui
