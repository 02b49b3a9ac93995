#include "map/map_table.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace hs::map {
namespace {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool HasMapExtension(const std::string& name) {
  constexpr std::string_view ext = ".hsxmap";
  return name.size() > ext.size() && EqualsNoCase(std::string_view(name).substr(name.size() - ext.size()), ext);
}

}  // namespace

bool MapTable::Add(MapRecord map) {
  if (count_ >= kSlots) return false;
  slots_[size_t(count_++)] = std::move(map);
  return true;
}

bool MapTable::LoadAll(const std::filesystem::path& dir, MapMessageBoxes* boxes) {
  constexpr std::string_view kWorld = "world.hsxmap";
  std::error_code ec;
  std::vector<std::string> found;
  for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (HasMapExtension(name)) found.push_back(std::move(name));
  }
  std::sort(found.begin(), found.end());

  // The world map in any case ("World.hsxmap"); where the file system holds
  // more than one spelling, the exact name first, else the first in order.
  std::string world;
  for (const std::string& n : found) {
    if (!EqualsNoCase(n, kWorld) || !std::filesystem::is_regular_file(dir / n, ec)) continue;
    if (world.empty() || n == kWorld) world = n;
  }
  if (world.empty()) {
    if (boxes) boxes->ShowMessage(kWorldMapMissingText, kWorldMapMissingCaption);
    entries_.clear();
    return false;
  }

  std::vector<std::string> names{world};
  for (std::string& n : found) {
    if (names.size() >= size_t(kMaxFiles)) break;
    if (!EqualsNoCase(n, kWorld)) names.push_back(std::move(n));
  }
  for (const std::string& n : names) {
    entries_.push_back(std::make_unique<MapFileEntry>(n));
    // Files past the last slot are listed but not loaded.
    if (count_ >= kSlots) continue;
    MapRecord& slot = slots_[size_t(count_)];
    if (ReadMapFile((dir / n).string(), slot)) ++count_;
  }
  return true;
}

bool MapTable::LoadAtStartup(const std::filesystem::path& dir, MapMessageBoxes* boxes) {
  if (LoadAll(dir, boxes)) return true;
  if (boxes) boxes->ShowMessage(kNoMapsText, kNoMapsCaption);
  return false;
}

}  // namespace hs::map
