#include "app/requests.h"

#include <charconv>

namespace hs::app {

std::string_view RequestName(Request::Kind kind) {
  switch (kind) {
    case Request::NewTrace: return kNewTraceRequest;
    case Request::SetHome: return kSetHomeRequest;
    case Request::LogClosing: return kLogClosingRequest;
  }
  return {};
}

std::optional<Request> RequestByName(std::string_view name) {
  if (name == kSetHomeRequest) return Request{Request::SetHome, {}};
  if (name == kLogClosingRequest) return Request{Request::LogClosing, {}};
  return std::nullopt;
}

std::string WriteRequest(const Request& request) {
  std::string out(RequestName(request.kind));
  out += '\n';
  if (request.kind != Request::NewTrace) return out;
  const std::string_view line = std::string_view(request.commandLine).substr(0, kMaxCommandLine);
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, line.size()).ptr;
  out += kCommandLineValue;
  out += '=';
  out.append(digits, end);
  out += '\n';
  out += line;
  return out;
}

std::optional<Request> ReadRequest(std::string_view packet) {
  if (packet.size() > kMaxRequestSize || packet.find('\0') != std::string_view::npos) return std::nullopt;
  const size_t end = packet.find('\n');
  if (end == std::string_view::npos) return std::nullopt;
  const std::string_view name = packet.substr(0, end);
  std::string_view rest = packet.substr(end + 1);
  if (name != kNewTraceRequest) {
    std::optional<Request> request = RequestByName(name);
    if (!request || !rest.empty()) return std::nullopt;
    return request;
  }
  // "Command Line=<n>\n" then exactly n bytes.
  const std::string_view key = kCommandLineValue;
  if (rest.substr(0, key.size()) != key || rest.size() <= key.size() || rest[key.size()] != '=') return std::nullopt;
  rest.remove_prefix(key.size() + 1);
  const size_t eol = rest.find('\n');
  if (eol == std::string_view::npos || eol == 0 || (eol > 1 && rest[0] == '0')) return std::nullopt;
  size_t length = 0;
  const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + eol, length);
  if (ec != std::errc() || ptr != rest.data() + eol || length > kMaxCommandLine) return std::nullopt;
  rest.remove_prefix(eol + 1);
  if (rest.size() != length) return std::nullopt;
  return Request{Request::NewTrace, std::string(rest)};
}

}  // namespace hs::app
