#include "app/shell_services.h"

#include <algorithm>

#include "platform/files.h"

namespace hs::app {
namespace {

bool IsPlainWord(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

// "file://" and the path, with every byte that cannot stand in a URL escaped.
std::string FileUrl(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (IsPlainWord(std::string_view(reinterpret_cast<const char*>(&c), 1)) || c == '/' || c == '.' || c == '-' ||
        c == '~') {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

}  // namespace

std::string HelpPages::PagePath(std::string_view topic) const {
  if (!IsPlainWord(topic)) return {};
  return directory_ + "/f_" + std::string(topic) + ".htm";
}

bool HelpPages::ShowHelpTopic(std::string_view topic) const {
  const std::string path = PagePath(topic);
  if (path.empty() || !platform::FileExists(path)) return false;
  return browser_.OpenInBrowser(FileUrl(path));
}

std::string HelpPages::StartPageUrl() const { return FileUrl(directory_ + "/index.htm"); }

}  // namespace hs::app
