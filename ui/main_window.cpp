#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>
#include <QWindow>
#include <cstdlib>

#include "map/language_font.h"
#include "map/map_renderer.h"
#include "map/map_widget.h"
#include "ui/artwork.h"
#include "ui/progress_bar.h"
#include "ui/results_list.h"
#include "ui/texts.h"
#include "ui/wire_text.h"

namespace hs::ui {
namespace {

constexpr QEvent::Type kViewWork = QEvent::Type(QEvent::User + 30);
constexpr int kStripHeight = 18;

}  // namespace

MainWindow::MainWindow(TraceEngine& engine, const map::MapTable& maps, const map::PlaceNamer* namer,
                       config::Settings& settings, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent),
      engine_(engine),
      maps_(maps),
      settings_(settings),
      boxes_(boxes),
      mailbox_([this] {
        std::lock_guard g(wakeLock_);
        if (wakeOpen_) QCoreApplication::postEvent(this, new QEvent(kViewWork));
      }),
      views_(mailbox_, &engine.Context()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setWindowTitle(UiText(TextId::ProgramName));
  setWindowIcon(ProgramIcon());
  skin_ = std::make_unique<Skin>(palette(), devicePixelRatioF());
  buttonCursor_ = MakeCursor(kCursorButton, devicePixelRatioF());
  setMinimumSize(Skin::MinimumTrackingSize());

  map_ = new map::MapWidget(maps_, namer, this);
  map_->SetRouteSource([this] { return Rows(); }, [this] { return !engine_.Running(); });
  map_->SetPointerLeftHandler([this] { press_.Clear(); });
  map_->SetCursors(MakeCursor(kCursorHand, devicePixelRatioF()), MakeCursor(kCursorGrab, devicePixelRatioF()));
  // The place labels use the display font of the settings (the language's).
  map::MapStyle& style = map_->Renderer().Style();
  style.labelFace = QString::fromStdString(settings.font.face);
  style.labelCharSet = settings.font.charSet;
  style.labelHeight = std::abs(settings.font.height);
  list_ = new ResultsList(this);
  // Changed hops are marked once the rows stand in their final order.
  list_->SetRouteSettled([this] { return !engine_.Running(); });
  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  text_->setFrameShape(QFrame::NoFrame);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->document()->setDocumentMargin(10);
  progress_ = new ProgressBar(this);
  for (QWidget* child : {static_cast<QWidget*>(map_), static_cast<QWidget*>(list_),
                         static_cast<QWidget*>(text_), static_cast<QWidget*>(progress_)})
    child->installEventFilter(this);
  list_->hide();
  text_->hide();
  progress_->hide();

  engine_.SetViews(&views_);
  engine_.Status().SetDisplay(&views_);
  LayOut();
}

MainWindow::~MainWindow() {
  {
    std::lock_guard g(wakeLock_);
    wakeOpen_ = false;
  }
  engine_.Status().SetDisplay(nullptr);
  engine_.SetViews(nullptr);
  if (busy_) QGuiApplication::restoreOverrideCursor();
}

QRect MainWindow::PanelRect() const {
  const int m = Skin::Margin(), top = Skin::TopHeight();
  return QRect(m, top, width() - 2 * m, height() - Skin::BarHeight() - top);
}

QRect MainWindow::EventLineRect() const {
  const int barWidth = std::max(width() / 3, 250);
  return QRect(0, height() - kStripHeight, width() - barWidth - 4, kStripHeight);
}

void MainWindow::LayOut() {
  const QRect panel = PanelRect();
  map_->setGeometry(panel);
  list_->setGeometry(panel);
  text_->setGeometry(panel);
  const int barWidth = std::max(width() / 3, 250);
  progress_->setGeometry(width() - barWidth - 3, height() - 15, barWidth, 12);
}

void MainWindow::PlaceAndShow() {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect desktop = screen ? screen->virtualGeometry() : QRect(0, 0, 1024, 768);
  const auto& w = settings_.window;
  const bool empty = w[2] <= w[0] || w[3] <= w[1];
  const bool onDesktop = w[0] <= desktop.right() + 1 && w[2] >= desktop.left() && w[1] <= desktop.bottom() + 1 &&
                         w[3] >= desktop.top();
  QRect placed(w[0], w[1], w[2] - w[0], w[3] - w[1]);
  if (empty || !onDesktop) {
    const QRect area = screen ? screen->availableGeometry() : desktop;
    placed = QRect(area.left() + area.width() / 10, area.top() + area.height() / 10, area.width() * 8 / 10,
                   area.height() * 8 / 10);
    settings_.window = {placed.left(), placed.top(), placed.left() + placed.width(), placed.top() + placed.height()};
  }
  setGeometry(placed);
  ShowPanel(kShowMap);
  progress_->hide();
  if (settings_.windowMaximized) showMaximized();
  else show();
  map_->ShowWholeWorld();
}

void MainWindow::RecordRectangle() {
  if (isMaximized() || isMinimized() || isFullScreen()) return;
  const QRect g = geometry();
  settings_.window = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
}

config::WindowPlacement MainWindow::Placement() const {
  config::WindowPlacement p;
  p.maximized = isMaximized();
  p.minimized = isMinimized();
  const QRect g = geometry();
  p.rect = p.maximized || p.minimized ? settings_.window
                                      : std::array<int32_t, 4>{g.left(), g.top(), g.left() + g.width(),
                                                               g.top() + g.height()};
  return p;
}

void MainWindow::resizeEvent(QResizeEvent*) {
  if (!isMinimized()) LayOut();
  RecordRectangle();
  frame_ = QImage();  // made again at the new size
  frameDirty_ = true;
  update();
}

void MainWindow::moveEvent(QMoveEvent*) { RecordRectangle(); }

void MainWindow::changeEvent(QEvent* e) {
  if (e->type() == QEvent::PaletteChange || e->type() == QEvent::StyleChange) {
    skin_ = std::make_unique<Skin>(palette(), devicePixelRatioF());
    frameDirty_ = true;
    update();
  }
  QWidget::changeEvent(e);
}

bool MainWindow::TraceActive() const { return startsPending_ > 0 || engine_.Running(); }

std::shared_ptr<const std::string> MainWindow::RegistrantText(const HopRecord& row) const {
  return registrantSource_ ? registrantSource_(row) : nullptr;
}

void MainWindow::UpdateAvailability() {
  const std::vector<HopRef> rows = Rows();
  bool registrant = false, network = false;
  if (!rows.empty() && rows.back() && targetAddress_ != 0 && rows.back()->address == targetAddress_) {
    registrant = RegistrantText(*rows.back()) != nullptr;
    network = rows.back()->WhoisText() != nullptr;
  }
  if (registrant != registrantAvailable_ || network != networkAvailable_) {
    registrantAvailable_ = registrant;
    networkAvailable_ = network;
    StatusRepaint();
  }
}

void MainWindow::StatusRepaint() {
  // Where the text tabs appear once their texts are available.
  const BarLayout layout = Layout();
  const int left = layout.Spot(kRegistrantItem).rect.left();
  const int right = layout.Spot(kStartStopItem).rect.left();
  const int top = layout.Spot(kRegistrantItem).rect.top();
  frameDirty_ = true;
  update(QRect(left, top, right - left, Skin::LogicalSize(kMapTab).height()));
}

void MainWindow::RepaintBar() {
  frameDirty_ = true;
  update(QRect(0, height() - Skin::BarHeight(), width(), Skin::BarHeight() - kStripHeight));
}

void MainWindow::ShowEventLine(const QString& text) {
  if (text == eventLine_) return;
  eventLine_ = text;
  if (listener_) listener_("status", text.trimmed());
  update(EventLineRect());
}

void MainWindow::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) QGuiApplication::setOverrideCursor(Qt::BusyCursor);
  else QGuiApplication::restoreOverrideCursor();
  progress_->SetBusy(busy);
  if (busy) progress_->show();
  else if (traceThreads_ == 0) progress_->hide();
}

void MainWindow::ShowPanel(int mode) {
  mode_ = mode;
  views_.SetDisplayMode(mode);
  map_->SetMapShown(mode == kShowMap);
  map_->setVisible(mode == kShowMap);
  list_->setVisible(mode == kShowList);
  text_->setVisible(mode == kShowRegistrant || mode == kShowNetwork);
  if (mode == kShowMap) {
    map_->FollowRoute(false);
    map_->update();
  } else if (mode == kShowList) {
    list_->RefreshAll(Rows(), engine_.Table().Generation());
  } else {
    const std::vector<HopRef> rows = Rows();
    std::shared_ptr<const std::string> answer;
    if (!rows.empty() && rows.back())
      answer = mode == kShowRegistrant ? RegistrantText(*rows.back()) : rows.back()->WhoisText();
    const QString text = answer ? PanelDisplayText(*answer) : QString();
    if (text != text_->toPlainText()) text_->setPlainText(text);
  }
}

void MainWindow::Activate(int item) {
  switch (item) {
    case kMapItem: ShowPanel(kShowMap); break;
    case kListItem: ShowPanel(kShowList); break;
    case kRegistrantItem:
      if (!registrantAvailable_) return;
      ShowPanel(kShowRegistrant);
      break;
    case kNetworkItem:
      if (!networkAvailable_) return;
      ShowPanel(kShowNetwork);
      break;
    case kStartStopItem:
      if (!TraceActive()) {
        ShowPanel(kShowMap);
        frameDirty_ = true;
        update();
        StartTrace();
      } else {
        StopTrace();
      }
      return;
    default: return;
  }
  RepaintBar();
}

void MainWindow::StartTrace(std::function<void()> beforeStart) {
  ++startsPending_;
  stopAfterStart_ = false;
  RepaintBar();
  starter_.Post([this, beforeStart = std::move(beforeStart)] {
    if (beforeStart) beforeStart();
    engine_.StartTrace();
    mailbox_.Post([](ViewWork& w) { ++w.startsFinished; });
  });
}

void MainWindow::StopTrace() {
  if (startsPending_ > 0) stopAfterStart_ = true;
  engine_.StopTrace();
  engine_.Status().SetStatus(UiText(TextId::TraceInterrupted).toStdString(), 0);
  progress_->hide();
  RepaintBar();
}

void MainWindow::HandOverTrace(const std::string& target, std::function<void()> beforeStart,
                               std::function<void()> handled) {
  if (isMinimized()) showNormal();
  else show();
  QTimer::singleShot(100, this, [this, target, beforeStart = std::move(beforeStart), handled = std::move(handled)] {
    raise();
    activateWindow();
    if (startsPending_ > 0) stopAfterStart_ = true;
    engine_.StopTrace();
    progress_->hide();
    engine_.Status().SetStatus(UiText(TextId::TraceEngine).toStdString(), 0);
    if (!target.empty()) {
      ShowPanel(kShowMap);
      RepaintBar();
      engine_.SetTargetText(target);
      StartTrace(beforeStart);
    }
    if (handled) handled();
  });
}

bool MainWindow::HostLogClosing() {
  if (!quitOnLogClose_) return false;
  close();
  return true;
}

void MainWindow::ApplyViewWork() {
  ViewWork work = mailbox_.Take();
  if (work.Empty()) return;
  if (work.title) {
    setWindowTitle(FromWire(*work.title));
    targetAddress_ = work.titleTargetAddress;
    list_->SetTargetAddress(targetAddress_);
    if (listener_) listener_("title", windowTitle());
  }
  if (work.busy) SetBusy(*work.busy);
  if (work.threadsStarted > 0) {
    SetBusy(false);
    progress_->show();
  }
  traceThreads_ += work.threadsStarted - work.threadsEnded;
  if (traceThreads_ <= 0) {
    traceThreads_ = 0;
    if (work.threadsEnded > 0 && !busy_) progress_->hide();
  }
  if (work.startsFinished > 0) {
    startsPending_ = std::max(0, startsPending_ - work.startsFinished);
    if (startsPending_ == 0 && stopAfterStart_) {
      stopAfterStart_ = false;
      engine_.StopTrace();
      progress_->hide();
    }
  }
  if (work.status) {
    ShowEventLine(QStringLiteral("   ") + FromWire(work.status->first));
    progress_->SetValue(work.status->second);
  }
  if (work.clearRoute) map_->ShowWholeWorld();
  RefreshShownPanel(work);
  UpdateAvailability();
  // The Start/Stop image follows the trace.
  if (TraceActive() != drawnActive_) RepaintBar();
  // Boxes last: they run an event loop of their own.
  for (int box : work.targetErrors) boxes_.ShowTargetError(box);
}

void MainWindow::RefreshShownPanel(const ViewWork& work) {
  const bool rowsTouched = work.rowsChanged || work.changedRows != 0 || work.clearRoute;
  if (mode_ == kShowMap) {
    if (rowsTouched || work.redrawMap || work.routeChanged || work.lookupComplete) {
      map_->FollowRoute(work.redrawMap);
      map_->update();
    }
  } else if (mode_ == kShowList) {
    const std::vector<HopRef> rows = Rows();
    const uint64_t trace = engine_.Table().Generation();
    bool whole = work.rowsChanged || work.clearRoute || work.lookupComplete;
    for (int i = 0; i < 64 && !whole; ++i)
      if ((work.changedRows >> i) & 1) whole = i >= list_->topLevelItemCount();
    if (whole) {
      list_->RefreshAll(rows, trace);
    } else {
      for (int i = 0; i < 64; ++i)
        if ((work.changedRows >> i) & 1) list_->RefreshRow(rows, i);
    }
  } else if (work.lookupComplete || rowsTouched) {
    ShowPanel(mode_);  // the text may have arrived or changed
  }
}

void MainWindow::RedrawFrame() {
  const qreal ratio = devicePixelRatioF();
  if (!skin_->Matches(palette(), ratio)) {
    skin_ = std::make_unique<Skin>(palette(), ratio);
    buttonCursor_ = MakeCursor(kCursorButton, ratio);
  }
  const QSize logical(width(), std::max(0, height() - kStripHeight));
  const QSize device(int(std::lround(logical.width() * ratio)), int(std::lround(logical.height() * ratio)));
  if (frame_.size() != device || frame_.devicePixelRatio() != ratio) {
    frame_ = QImage(device, QImage::Format_ARGB32_Premultiplied);
    frame_.setDevicePixelRatio(ratio);
  }
  const Skin& s = *skin_;
  QPainter p(&frame_);
  const int W = width(), H = height();
  const int m = Skin::Margin(), top = Skin::TopHeight(), bar = Skin::BarHeight();
  const int b = H - bar;
  auto piece = [&](int id) -> const QPixmap& { return s.Piece(id); };
  auto size = [](int id) { return Skin::LogicalSize(id); };
  p.drawPixmap(QRect(0, 0, W - m, top), piece(kTopEdge));
  p.drawPixmap(QRect(0, 0, m, H - bar), piece(kLeftEdge));
  p.drawPixmap(QRect(W - m, 0, m, H - bar), piece(kRightEdge));
  p.fillRect(QRect(0, b, W, bar), s.Colours().frame);
  p.drawPixmap(QRect(0, b, W - m, size(kBottomBar).height()), piece(kBottomBar));
  p.drawPixmap(0, 0, piece(kTopLeft));
  p.drawPixmap(W - size(kTopRight).width(), 0, piece(kTopRight));
  p.drawPixmap(0, b, piece(mode_ == kShowMap ? kBottomLeftEndMap : kBottomLeftEnd));
  p.drawPixmap(W - m, b, piece(kBottomRightEnd));

  const BarLayout layout = Layout();
  auto tab = [&](int item, int image, bool selected) {
    p.drawPixmap(layout.Spot(item).rect.topLeft(), piece(image + (selected ? 1 : 0)));
  };
  tab(kMapItem, kMapTab, mode_ == kShowMap);
  tab(kListItem, kListTab, mode_ == kShowList);
  if (registrantAvailable_) tab(kRegistrantItem, kRegistrantTab, mode_ == kShowRegistrant);
  if (networkAvailable_) tab(kNetworkItem, kNetworkTab, mode_ == kShowNetwork);
  const bool hot = hovered_ == kStartStopItem;
  drawnActive_ = TraceActive();
  const int button = drawnActive_ ? (hot ? kStopHighlighted : kStop) : (hot ? kStartHighlighted : kStart);
  p.drawPixmap(layout.Spot(kStartStopItem).rect.left(), b, piece(button));
  frameDirty_ = false;
}

void MainWindow::paintEvent(QPaintEvent* e) {
  if (frameDirty_ || frame_.isNull() || frame_.devicePixelRatio() != devicePixelRatioF()) RedrawFrame();
  QPainter p(this);
  p.drawImage(0, 0, frame_);
  // The status strip with the event line: the text from three blanks in,
  // left of the progress bar.
  const QRect strip(0, height() - kStripHeight, width(), kStripHeight);
  if (e->rect().intersects(strip)) {
    const SkinColours& c = skin_->Colours();
    p.fillRect(strip, c.strip);
    p.fillRect(QRect(0, strip.top(), width(), 1), c.hairline);
    QFont font = map::MapFont();
    p.setFont(font);
    p.setPen(palette().color(QPalette::ButtonText));
    const QRect area = EventLineRect();
    const QString shown = QFontMetrics(font).elidedText(eventLine_, Qt::ElideRight, area.width());
    p.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
  }
}

bool MainWindow::event(QEvent* e) {
  if (e->type() == kViewWork) {
    ApplyViewWork();
    return true;
  }
  if (e->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(e);
    const BarLayout layout = Layout();
    if (layout.HitTest(help->pos(), registrantAvailable_, networkAvailable_) == kStartStopItem) {
      QToolTip::showText(help->globalPos(), UiText(TraceActive() ? TextId::StopTrace : TextId::StartTrace), this,
                         layout.Spot(kStartStopItem).rect);
    } else {
      QToolTip::hideText();
      e->ignore();
    }
    return true;
  }
  return QWidget::event(e);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
  // Entering a panel or the progress bar leaves the bottom bar.
  if (e->type() == QEvent::Enter) SetHovered(kNoItem);
  return QWidget::eventFilter(watched, e);
}

void MainWindow::SetHovered(int item) {
  if (item == hovered_) return;
  const bool startStopChanged = item == kStartStopItem || hovered_ == kStartStopItem;
  hovered_ = item;
  if (startStopChanged) {
    frameDirty_ = true;
    update(Layout().Spot(kStartStopItem).rect.adjusted(0, -12, 0, 2));
  }
}

void MainWindow::mouseMoveEvent(QMouseEvent* e) {
  const int item = Layout().HitTest(e->position().toPoint(), registrantAvailable_, networkAvailable_);
  SetHovered(item);
  const bool button = item == kMapItem || item == kListItem || item == kStartStopItem ||
                      item == kRegistrantItem || item == kNetworkItem;
  if (button) setCursor(buttonCursor_);
  else unsetCursor();
}

void MainWindow::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  press_.Press(Layout().HitTest(e->position().toPoint(), registrantAvailable_, networkAvailable_));
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* e) { mousePressEvent(e); }

void MainWindow::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  const int under = Layout().HitTest(e->position().toPoint(), registrantAvailable_, networkAvailable_);
  const int item = press_.Release(under);
  if (item != kNoItem) Activate(item);
}

void MainWindow::leaveEvent(QEvent*) { SetHovered(kNoItem); }

void MainWindow::wheelEvent(QWheelEvent* e) {
  if (mode_ != kShowMap) return;
  // One zoom step per notch; fine-grained wheels add up to a notch first.
  wheelRest_ += e->angleDelta().y();
  while (std::abs(wheelRest_) >= 120) {
    const bool in = wheelRest_ > 0;
    map_->View().Zoom(maps_, -1, -1, in);
    wheelRest_ += in ? -120 : 120;
  }
  e->accept();
}

void MainWindow::closeEvent(QCloseEvent* e) {
  RecordRectangle();
  e->accept();
}

}  // namespace hs::ui
