// Fuzzes the HTTP side: any bytes a connection may send, through the
// server's parser settings and request handling. Every answer must be a
// whole HTTP/1.x answer whose body is as long as its Content-Length says.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "server/locd/http_server.h"
#include "tests/server/small_service.h"

namespace {

size_t ContentLength(std::string_view head) {
  std::string lower = hs::test::ToLower(std::string(head));
  size_t at = lower.find("\r\ncontent-length: ");
  if (at == std::string::npos) std::abort();
  return std::strtoul(lower.c_str() + at + 18, nullptr, 10);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(bytes), size);
  const auto& service = hs::test::SmallDataService();
  // Answers to HEAD carry no body; leave them out so every length can be checked.
  if (input.find("HEAD") != std::string_view::npos) return 0;
  std::string out = hs::locd::AnswerBytes(
      input, [&](std::string_view path, std::string_view query, std::string_view remote) {
        return service.Handle(path, query, remote);
      });
  std::string_view rest = out;
  while (!rest.empty()) {
    if (rest.substr(0, 7) != "HTTP/1.") std::abort();
    size_t end = rest.find("\r\n\r\n");
    if (end == std::string_view::npos) std::abort();
    size_t length = ContentLength(rest.substr(0, end + 2));
    if (rest.size() < end + 4 + length) std::abort();
    rest.remove_prefix(end + 4 + length);
  }
  return 0;
}
