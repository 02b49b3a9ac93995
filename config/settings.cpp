#include "config/settings.h"

#include "config/text_fields.h"
#include "i18n/language.h"
#include "platform/files.h"

namespace hs::config {

const std::array<SettingDef, 8>& SettingsTable() {
  static const std::array<SettingDef, 8> table{{
      {"dnstime=", 1, [](Settings& s) { return &s.dnsTime; }},
      {"whotime=", 1, [](Settings& s) { return &s.whoTime; }},
      {"loctime=", 1, [](Settings& s) { return &s.locTime; }},
      {"sound=", 1, [](Settings& s) { return &s.sound; }},
      {"ping sound=", 1, [](Settings& s) { return &s.pingSound; }},
      {"window=", 4, [](Settings& s) { return s.window.data(); }},
      {"window maximized=", 1, [](Settings& s) { return &s.windowMaximized; }},
      {"install=", 3, [](Settings& s) { return s.install.data(); }},
  }};
  return table;
}

namespace {

constexpr std::string_view kOptionsSection = "[options]";
constexpr std::string_view kStartLocationKey = "start location=";

// Reads `count` comma-separated integers; a missing comma ends the row.
void ReadValues(std::string_view rest, int32_t* values, int count) {
  for (int i = 0; i < count; ++i) {
    if (i > 0) {
      size_t comma = rest.find(',');
      if (comma == std::string_view::npos) return;
      rest.remove_prefix(comma + 1);
    }
    values[i] = LeadingInt(rest);
  }
}

void ReadStartLocation(std::string_view rest, GeoLocation& location) {
  location.source = static_cast<LocationSource>(LeadingInt(rest));
  for (int field = 1; field < 4; ++field) {
    size_t comma = rest.find(',');
    if (comma == std::string_view::npos) return;
    rest.remove_prefix(comma + 1);
    if (field == 1) location.latitude = LeadingDouble(rest);
    if (field == 2) location.longitude = LeadingDouble(rest);
    if (field == 3) location.precision = LeadingInt(rest);
  }
}

}  // namespace

void SetInstallIdentity(Settings& settings, int64_t now, int32_t random) {
  settings.install = {static_cast<int32_t>(now), random, static_cast<int32_t>(now)};
}

void ParseSettings(std::string_view text, Settings& settings) {
  LineReader reader(text);
  std::string_view line;
  bool inOptions = false;
  while (reader.Next(line)) {
    if (WithoutLineFeed(line) == kOptionsSection) {
      inOptions = true;
      break;
    }
  }
  if (!inOptions) return;
  while (reader.Next(line)) {
    line = WithoutLineFeed(line);
    if (!line.empty() && line.front() == '[') break;
    bool matched = false;
    for (const SettingDef& def : SettingsTable()) {
      if (line.substr(0, def.key.size()) == def.key) {
        ReadValues(line.substr(def.key.size()), def.values(settings), def.valueCount);
        matched = true;
        break;
      }
    }
    if (!matched && line.substr(0, kStartLocationKey.size()) == kStartLocationKey) {
      ReadStartLocation(line.substr(kStartLocationKey.size()), settings.startLocation);
    }
  }
}

std::string FormatSettings(const Settings& settings, bool firstRun) {
  Settings copy = settings;  // the table hands out pointers into a Settings
  std::string out;
  out.append(kGeneratedBanner).append("\n\n");
  out.append(kOptionsSection).append("\n");
  for (const SettingDef& def : SettingsTable()) {
    if (firstRun && def.key == "window=") continue;
    out.append(def.key);
    const int32_t* values = def.values(copy);
    for (int i = 0; i < def.valueCount; ++i) {
      if (i > 0) out.push_back(',');
      AppendInt(out, values[i]);
    }
    out.push_back('\n');
  }
  const GeoLocation& home = settings.startLocation;
  out.append(kStartLocationKey);
  AppendInt(out, static_cast<int32_t>(home.source));  // read back as a signed integer
  out.push_back(',');
  AppendFixed6(out, home.latitude);
  out.push_back(',');
  AppendFixed6(out, home.longitude);
  out.push_back(',');
  AppendInt(out, home.precision);
  out.append("\n\n");
  return out;
}

DisplayFont DisplayFontDefaults() {
  DisplayFont font;
  // TRANSLATORS: the font of the map's place labels: its height in pixels
  // (negative: the height of the letters), the character set number of the
  // language's script (0 Western, 128 Japanese) and the font family.
  font.height = LeadingInt(i18n::Tr(NC_("395", "-12")));
  font.charSet = LeadingInt(i18n::Tr(NC_("25432", "0")));
  font.face = i18n::Tr(NC_("25433", "Arial"));
  if (font.height == 0) font.height = -12;
  return font;
}

std::string SettingsPath(const std::string& dataDir) { return dataDir + "/HopSight.ini"; }

FileLoad LoadSettings(const std::string& dataDir, Settings& settings, HomeLocationWizard& wizard,
                      bool homeSwitchAlone) {
  settings.font = DisplayFontDefaults();
  const std::string path = SettingsPath(dataDir);
  FileLoad load;
  std::optional<std::string> text = platform::ReadWholeFile(path, &load.error);
  if (!text && !load.error.Missing()) {
    // "Cannot be opened for reading" is taken to mean "missing": a file that
    // is there but unreadable holds the user's settings and is never replaced.
    load.unreadable = true;
    return load;
  }
  load.error = {};
  if (text) {
    load.read = true;
    ParseSettings(*text, settings);
  } else if (platform::FileResult created =
                 platform::ReplaceFileAtomically(path, std::string(kGeneratedBanner) + "\n\n");
             !created) {
    load.error = created.error;
  }
  if (!homeSwitchAlone && wizard.Available() && (!load.read || !settings.HasHomeLocation())) {
    wizard.Run(settings);
    SaveSettings(dataDir, settings, true, nullptr);
  }
  return load;
}

platform::FileResult SaveSettings(const std::string& dataDir, Settings& settings, bool firstRun,
                                  const WindowPlacement* window) {
  if (window) {
    settings.windowMaximized = window->maximized ? 1 : 0;
    if (!window->minimized && !window->maximized && !firstRun) settings.window = window->rect;
  }
  return platform::ReplaceFileAtomically(SettingsPath(dataDir), FormatSettings(settings, firstRun));
}

}  // namespace hs::config
