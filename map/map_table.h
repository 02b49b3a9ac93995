// The table of loaded maps, filled once at start-up from the maps directory:
// world.hsxmap first, then every other *.hsxmap. Names and extensions match
// in any case.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "map/map_file.h"

namespace hs::map {

// The window shows the loader's message boxes; until it exists, a caller may
// pass a sink of its own.
class MapMessageBoxes {
 public:
  virtual ~MapMessageBoxes() = default;
  virtual void ShowMessage(std::string_view text, std::string_view caption) = 0;
};

inline constexpr std::string_view kWorldMapMissingText =
    "World Map not found.  A world map file is required for the program to operate properly.";
inline constexpr std::string_view kWorldMapMissingCaption = "Map Loading Error";
inline constexpr std::string_view kNoMapsText = "No Map files found!";
inline constexpr std::string_view kNoMapsCaption = "Map Loading Error";

// One file the search found, loaded or not.
class MapFileEntry {
 public:
  explicit MapFileEntry(std::string name) : name_(std::move(name)) {}
  virtual ~MapFileEntry() = default;
  const std::string& Name() const { return name_; }

 private:
  std::string name_;
};

class MapTable {
 public:
  static constexpr int kSlots = 32;
  static constexpr int kMaxFiles = 254;

  // Loads the maps of `mapsDir`. False when world.hsxmap is missing (after
  // its message box) or no map file matched. Files are taken in name order so
  // the table, and with it the viewport's choice between equal maps, does not
  // depend on the file system's listing order.
  bool LoadAll(const std::filesystem::path& mapsDir, MapMessageBoxes* boxes);
  // LoadAll plus the start-up's "No Map files found!" box when it fails.
  bool LoadAtStartup(const std::filesystem::path& mapsDir, MapMessageBoxes* boxes);

  int Count() const { return count_; }
  const MapRecord& Map(int i) const { return slots_[size_t(i)]; }
  // Puts a map into the next slot; for tools and tests that build maps in memory.
  bool Add(MapRecord map);

  int FileCount() const { return int(entries_.size()); }
  const MapFileEntry& Entry(int i) const { return *entries_[size_t(i)]; }
  void DestroyEntries() { entries_.clear(); }

 private:
  std::array<MapRecord, kSlots> slots_;
  int count_ = 0;
  std::vector<std::unique_ptr<MapFileEntry>> entries_;
};

}  // namespace hs::map
