// The message boxes that other subsystems show through the window, as one interface
// that the engine-side subsystems (location database, location servers,
// update check, home location wizard) call without knowing Qt. The window
// implements it (ui/message_box.h). Any thread may call; a call returns when
// the user has closed the box. Once the program is shutting down, calls
// return at once with the result of closing the box (Cancel, No or none).
#pragma once

#include <string>

namespace hs::ui {

// Result codes of the boxes, as the standard message box gives them.
enum BoxResult : int { kBoxNone = 0, kBoxOk = 1, kBoxCancel = 2, kBoxYes = 6, kBoxNo = 7 };
// Button sets of the program's own box: the low four bits of the type.
enum BoxType : int { kBoxTypeOk = 0, kBoxTypeOkCancel = 1, kBoxTypeYesNo = 4 };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;

  // The program's own box (text sized, program font, own captions). `type`
  // as above; returns one of the BoxResult codes.
  virtual int ShowOwnBox(const std::string& text, const std::string& caption, int type) = 0;

  // Error box 1 (name not resolved) or 2 (invalid address) of the target
  // check: stop icon, OK and Help (Help opens the error topic with the box
  // number as context and leaves the box open).
  virtual void ShowTargetError(int box) = 0;

  // Location database loader: the file would not open (no owner), the file
  // is damaged (`code` as the loader reports it, no owner), and the notice
  // owned by the main window that follows a file that would not open.
  virtual void ShowDatabaseOpenFailed() = 0;
  virtual void ShowDatabaseInvalid(int code) = 0;
  virtual void ShowDatabaseNeedsUpdate() = 0;

  // Location server client: no server answered.
  virtual void ShowServersUnreachable() = 0;

  // Update check: "a new version is available" (OK and Cancel, exclamation
  // icon), and the server's own message (OK and Cancel). True for OK.
  virtual bool AskNewVersion() = 0;
  virtual bool ShowUpdateInformation(const std::string& message) = 0;
};

}  // namespace hs::ui
