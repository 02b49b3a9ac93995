// The program's own message box, which sizes itself to its text and takes
// its font and button captions from the program's texts, and the window's
// implementation of every message box the program shows.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "map/map_table.h"
#include "ui/message_boxes.h"

class QMessageBox;
class QPushButton;

namespace hs::ui {

class OwnMessageBox : public QDialog {
 public:
  OwnMessageBox(QWidget* owner, const QString& text, const QString& caption, int type);

  // The layout the box computed (client coordinates).
  QRect TextRect() const { return textRect_; }
  QPushButton* FirstButton() const { return first_; }
  QPushButton* SecondButton() const { return second_; }
  int Type() const { return type_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  int type_;
  QRect textRect_;
  QPushButton* first_ = nullptr;
  QPushButton* second_ = nullptr;
};

// Runs the box modally; one of the BoxResult codes.
int ShowOwnMessageBox(QWidget* owner, const QString& text, const QString& caption, int type);

// Opens a help topic with a context number; the help pages supply it.
using HelpTopicFunction = std::function<void(const std::string& topic, int context)>;

// Every box of the program, shown on the window's thread whichever thread asks.
class QtMessageBoxes final : public MessageBoxes, public map::MapMessageBoxes {
 public:
  QtMessageBoxes();
  ~QtMessageBoxes() override;

  // The main window, owner of the boxes that have one.
  void SetOwner(QWidget* owner) { owner_ = owner; }
  void SetHelp(HelpTopicFunction help) { help_ = std::move(help); }
  // From now on every call returns at once, as if the box had been closed.
  void Close();

  int ShowOwnBox(const std::string& text, const std::string& caption, int type) override;
  void ShowTargetError(int box) override;
  void ShowDatabaseOpenFailed() override;
  void ShowDatabaseInvalid(int code) override;
  void ShowDatabaseNeedsUpdate() override;
  void ShowServersUnreachable() override;
  bool AskNewVersion() override;
  bool ShowUpdateInformation(const std::string& message) override;
  // The map loader's boxes (owned by the main window, OK only).
  void ShowMessage(std::string_view text, std::string_view caption) override;

  // Builds the error box of the target check without showing it (for tests).
  std::unique_ptr<QMessageBox> MakeTargetErrorBox(int box);

 private:
  struct Request;
  class Receiver;
  // Runs `show` on the window's thread and returns its result; `closed` when
  // the boxes are closing.
  int OnWindowThread(std::function<int()> show, int closed);
  void RunRequests();

  QPointer<QWidget> owner_;
  HelpTopicFunction help_;
  std::unique_ptr<Receiver> receiver_;
  std::mutex lock_;
  std::condition_variable done_;
  std::deque<std::shared_ptr<Request>> requests_;
  bool closing_ = false;
  bool runningRequests_ = false;  // window thread only
};

}  // namespace hs::ui
