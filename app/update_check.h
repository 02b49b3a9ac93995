// The update check: every 30 days, and in the first minute after the first
// start, the companion server is asked whether a newer version exists.
//
// It runs on a thread of its own instead of before the window opens, so a
// dead or slow server never delays the start. Its message boxes go through
// UpdatePrompts, which the window fills in.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/http.h"
#include "server/wire/locwire.h"

namespace hs::app {

inline constexpr int64_t kUpdateInterval = 2592000;      // 30 days
inline constexpr int64_t kFirstRunWindow = 60;           // seconds after the first start
inline constexpr int64_t kUpdatePostponement = 432000;   // a failed check is tried again 5 days later

inline constexpr std::string_view kNewVersionText =
    "A new version of HopSight Express is available.\nPress \"OK\" to GoOnline for the latest version\n or "
    "\"Cancel\" to continue the program.";
inline constexpr std::string_view kNewVersionTitle = "New Version Available!";
inline constexpr std::string_view kInformationTitle = "HopSight Express Information";

// The window's side: a box with OK and Cancel, and the browser.
class UpdatePrompts {
 public:
  virtual ~UpdatePrompts() = default;
  // True for OK. `exclamation`: the box shows the exclamation icon. Must
  // return (as Cancel) when the program is closing.
  virtual bool AskOkCancel(std::string_view text, std::string_view title, bool exclamation) = 0;
  virtual bool OpenInBrowser(const std::string& address) = 0;
};

struct UpdateCheckSetup {
  std::string server = std::string(locwire::kCompanionAddress);
  std::string homePage;             // offered when a new version exists
  platform::HttpGetter get;         // default: platform::HttpFetch
  UpdatePrompts* prompts = nullptr;
  std::function<int64_t()> now;     // calendar seconds; default: platform::CalendarTime
};

// Due 30 days or more after the last check, or less than 60 seconds after it
// (the first start sets the last check to its own time).
bool UpdateDue(int64_t now, int32_t lastCheck);

// Asks the server and acts on its answer; true when the outcome is to be
// recorded as a completed check.
bool AskForUpdate(const locwire::InstallIdentity& identity, const UpdateCheckSetup& setup,
                  platform::HttpCancel* cancel = nullptr);

// `UpdateCheck` over the install identity of the settings ("install=":
// install time, install random value, last update check).
class UpdateCheck {
 public:
  explicit UpdateCheck(UpdateCheckSetup setup);
  ~UpdateCheck();  // cancels and waits
  UpdateCheck(const UpdateCheck&) = delete;
  UpdateCheck& operator=(const UpdateCheck&) = delete;

  // When the check is due: the last check moves five days on at once (a
  // check that fails or is cancelled is then retried five days later), and
  // the check starts on its thread. True when it started.
  bool StartIfDue(std::array<int32_t, 3>& install);
  // Waits for the check to end.
  void Wait();
  // Shutdown: ends the download, waits, and when the outcome was recorded
  // sets the last check to the time of the check.
  void Finish(std::array<int32_t, 3>& install);

 private:
  UpdateCheckSetup setup_;
  platform::HttpCancel cancel_;
  std::mutex lock_;
  std::optional<int64_t> recordedAt_;
  std::thread thread_;
};

}  // namespace hs::app
