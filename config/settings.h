// The settings file data/HopSight.ini: cache age limits, sound switches, the
// main window's placement, the install identity and the home location.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "trace/records.h"

namespace hs::config {

// Font of the map's place labels; not stored in the file. The defaults
// below are English's; DisplayFontDefaults() gives the program language's.
struct DisplayFont {
  int32_t height = -12;
  int32_t weight = 400;
  int32_t charSet = 0;
  int32_t pitchAndFamily = 0x20;
  std::string face = "Arial";
  friend bool operator==(const DisplayFont&, const DisplayFont&) = default;
};

// The display font of the program's language (height, character set and
// face from its texts).
DisplayFont DisplayFontDefaults();

struct Settings {
  int32_t dnsTime = 90;   // days a name cache entry lives
  int32_t whoTime = 90;   // days a WhoIs cache entry lives
  int32_t locTime = 60;   // days a location cache entry lives
  int32_t sound = 1;
  int32_t pingSound = 1;
  std::array<int32_t, 4> window{0, 0, 0, 0};  // left, top, right, bottom
  int32_t windowMaximized = 0;
  // Install time, install random value, last update check time.
  std::array<int32_t, 3> install{0, 0, 0};
  // The user's own position; latitude and longitude both 0 = not set.
  GeoLocation startLocation;
  DisplayFont font;

  bool HasHomeLocation() const {
    return startLocation.latitude != 0.0 || startLocation.longitude != 0.0;
  }
  friend bool operator==(const Settings&, const Settings&) = default;
};

// One row of the settings table: a key (with its '=') and the integers it fills.
struct SettingDef {
  std::string_view key;
  int valueCount;
  int32_t* (*values)(Settings&);
};
// The rows in file order.
const std::array<SettingDef, 8>& SettingsTable();

// The identity of this start (now, a fresh random value, now); a stored
// "install=" line replaces it when the file is read.
void SetInstallIdentity(Settings& settings, int64_t now, int32_t random);

// Reads the options of a settings file into `settings`; lines that do not
// parse and values that are absent leave what is there.
void ParseSettings(std::string_view text, Settings& settings);
// The whole file. The first-run form leaves out the "window=" row.
std::string FormatSettings(const Settings& settings, bool firstRun);

// Sets the user's home location. The wizard window that asks the user is
// not built yet; until then NoHomeLocationWizard stands in and leaves the
// home location unset.
class HomeLocationWizard {
 public:
  virtual ~HomeLocationWizard() = default;
  virtual void Run(Settings& settings) = 0;
  // False when there is no wizard to show (a program without a window): then
  // nothing is run, and nothing saved for it.
  virtual bool Available() const { return true; }
};

class NoHomeLocationWizard final : public HomeLocationWizard {
 public:
  // Does nothing: the home location stays unset.
  void Run(Settings&) override {}
  bool Available() const override { return false; }
};

// The main window's state at the time of saving; none when there is no window.
struct WindowPlacement {
  bool maximized = false;
  bool minimized = false;
  std::array<int32_t, 4> rect{0, 0, 0, 0};
};

std::string SettingsPath(const std::string& dataDir);

// What start-up made of one of the data files it reads.
struct FileLoad {
  bool read = false;  // an existing file was read
  // The file exists but could not be read. Its content is unknown, so it must
  // not be saved over at exit: that would lose what the user has in it.
  bool unreadable = false;
  platform::FileError error;  // why it could not be read, or created; code 0: no problem
  explicit operator bool() const { return read; }
};

// Start-up: display font defaults, then the file. Only a missing file is
// created (with the banner); then, and whenever no home location is known,
// the wizard runs and the settings are saved in their first-run form, unless
// the program was started only to set the home location (`homeSwitchAlone`).
// A file that exists but cannot be read leaves the defaults and runs no
// wizard.
FileLoad LoadSettings(const std::string& dataDir, Settings& settings, HomeLocationWizard& wizard,
                      bool homeSwitchAlone);

// Rewrites the file whole when its bytes change. `window` (may be null)
// updates the placement first.
platform::FileResult SaveSettings(const std::string& dataDir, Settings& settings, bool firstRun,
                                  const WindowPlacement* window);

}  // namespace hs::config
