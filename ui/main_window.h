// The main window: a frame drawn by the program around one content panel at
// a time (map, results list, or one of the two WhoIs texts of the target),
// tabs and a Start/Stop button in the bottom bar, and the status strip with
// the event line and the progress bar along the bottom edge.
//
// The trace engine's threads never touch it: their calls go into a mailbox
// (ui/view_mailbox.h) and the window applies them on its own thread, reading
// the rows from the engine's table there. The start sequence, which resolves
// the target, runs on a thread of its own, so the window never waits for the
// network.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "config/settings.h"
#include "map/map_table.h"
#include "trace/engine.h"
#include "ui/bottom_bar.h"
#include "ui/message_boxes.h"
#include "ui/skin.h"
#include "ui/view_mailbox.h"

class QPlainTextEdit;

namespace hs::map {
class MapWidget;
class PlaceNamer;
}  // namespace hs::map

namespace hs::ui {

class ProgressBar;
class ResultsList;

// Display modes.
enum DisplayMode : int { kShowMap = 0, kShowList = 2, kShowNetwork = 5, kShowRegistrant = 6 };

class MainWindow : public QWidget {
 public:
  // The domain WhoIs answer of a row, as the WhoIs subsystem keeps it; none
  // when the row has none.
  using RegistrantSource = std::function<std::shared_ptr<const std::string>(const HopRecord&)>;

  // Makes itself the engine's views and status display for its lifetime.
  MainWindow(TraceEngine& engine, const map::MapTable& maps, const map::PlaceNamer* namer,
             config::Settings& settings, MessageBoxes& boxes, QWidget* parent = nullptr);
  ~MainWindow() override;

  void SetRegistrantSource(RegistrantSource source) { registrantSource_ = std::move(source); }

  // Places the window (the recorded rectangle when it is on the desktop,
  // else 80 % of it) and shows it, maximised when the settings say so.
  void PlaceAndShow();
  // The Start/Stop button's two actions. `beforeStart` runs first on the
  // start sequence's thread (it may wait on the network too).
  void StartTrace(std::function<void()> beforeStart = {});
  void StopTrace();
  // A trace handed over by another start of the program: bring the window
  // forward, and 100 ms later interrupt the trace and trace `target` (none:
  // only interrupt). `beforeStart` runs first on the start sequence's thread;
  // `handled` is called once the hand-over has been acted on.
  void HandOverTrace(const std::string& target, std::function<void()> beforeStart = {},
                     std::function<void()> handled = {});
  // The host application's log window closed: quit when started by the host.
  void SetQuitOnLogClose(bool quit) { quitOnLogClose_ = quit; }
  // True when the window closes (and the program ends).
  bool HostLogClosing();
  // Hears what the window shows: "title" and "status" (the event line) with
  // their texts. For the program's event log.
  using Listener = std::function<void(std::string_view what, const QString& text)>;
  void SetListener(Listener listener) { listener_ = std::move(listener); }

  void Activate(int item);
  int Mode() const { return mode_; }
  bool TraceActive() const;
  // Applies what the trace threads posted; the posted wake-up calls it.
  void ApplyViewWork();

  // The window's state at saving time.
  config::WindowPlacement Placement() const;
  // True when no start sequence runs within `timeout` (shutdown).
  bool WaitStartsIdle(std::chrono::milliseconds timeout) { return starter_.WaitIdle(timeout); }

  // For tests and benchmarks.
  BarLayout Layout() const { return BarLayout::Compute(size(), mode_ == kShowMap, registrantAvailable_); }
  bool RegistrantAvailable() const { return registrantAvailable_; }
  bool NetworkAvailable() const { return networkAvailable_; }
  int Hovered() const { return hovered_; }
  int Pressed() const { return press_.Pressed(); }
  QString EventLine() const { return eventLine_; }
  ResultsList* List() const { return list_; }
  map::MapWidget* Map() const { return map_; }
  QPlainTextEdit* TextPanel() const { return text_; }
  ProgressBar* Progress() const { return progress_; }
  PostingViews& Views() { return views_; }
  const Skin& CurrentSkin() const { return *skin_; }
  QRect PanelRect() const;
  QRect EventLineRect() const;

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void moveEvent(QMoveEvent*) override;
  void changeEvent(QEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void leaveEvent(QEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  void closeEvent(QCloseEvent*) override;

 private:
  void LayOut();
  void RedrawFrame();
  void RecordRectangle();
  void SetHovered(int item);
  void SetBusy(bool busy);
  void ShowPanel(int mode);
  void UpdateAvailability();
  void RefreshShownPanel(const ViewWork& work);
  void StatusRepaint();
  void RepaintBar();
  void ShowEventLine(const QString& text);
  std::vector<HopRef> Rows() const { return engine_.Table().Snapshot(); }
  std::shared_ptr<const std::string> RegistrantText(const HopRecord& row) const;

  TraceEngine& engine_;
  const map::MapTable& maps_;
  config::Settings& settings_;
  MessageBoxes& boxes_;
  RegistrantSource registrantSource_;
  Listener listener_;

  // Wake-ups from the trace threads: posted while the window lives.
  std::mutex wakeLock_;
  bool wakeOpen_ = true;
  ViewMailbox mailbox_;
  PostingViews views_;

  std::unique_ptr<Skin> skin_;
  QImage frame_;  // the frame buffer: the window less the status strip
  bool frameDirty_ = true;

  map::MapWidget* map_ = nullptr;
  ResultsList* list_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  ProgressBar* progress_ = nullptr;
  QCursor buttonCursor_;

  int mode_ = kShowMap;
  PressTracker press_;
  int hovered_ = kNoItem;
  int wheelRest_ = 0;
  bool registrantAvailable_ = false;
  bool networkAvailable_ = false;
  uint32_t targetAddress_ = 0;
  QString eventLine_;
  int traceThreads_ = 0;
  int startsPending_ = 0;
  bool stopAfterStart_ = false;
  bool busy_ = false;
  bool quitOnLogClose_ = false;
  bool drawnActive_ = false;  // the Start/Stop image drawn last shows Stop

  // Last: its thread runs start sequences that use the members above.
  TraceStarter starter_;
};

}  // namespace hs::ui
