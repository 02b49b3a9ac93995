// The server's HTTP rules on bytes, without sockets: what a connection gets
// back for what it sends, through the same parser settings and answers as
// the running server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/locd/http_server.h"
#include "tests/server/test_support.h"

using hs::locd::AnswerBytes;
using hs::locd::Reply;

namespace {

// Echoes what the server handed over, so each answer names its request.
Reply Echo(std::string_view path, std::string_view query, std::string_view remote) {
  if (path == "/missing") return Reply{404, "no such service\n"};
  return Reply{200, std::string(path) + "|" + std::string(query) + "|" + std::string(remote)};
}

struct Answer {
  std::string statusLine;
  std::string head;  // the header lines, lower case
  std::string body;
  bool Has(const std::string& line) const { return head.find(line + "\r\n") != std::string::npos; }
};

// Splits a byte stream of answers; `headAnswers` marks the answers to HEAD
// requests, whose Content-Length announces a body that is not sent.
std::vector<Answer> Split(std::string raw, std::vector<bool> headAnswers = {}) {
  std::vector<Answer> out;
  while (!raw.empty()) {
    size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos) {
      ADD_FAILURE() << "an answer without the end of its head: " << raw;
      break;
    }
    Answer a;
    size_t eol = raw.find("\r\n");
    a.statusLine = raw.substr(0, eol);
    a.head = hs::test::ToLower(raw.substr(eol + 2, end + 2 - (eol + 2)));
    size_t at = a.head.find("content-length: ");
    if (at == std::string::npos) {
      ADD_FAILURE() << "an answer without Content-Length: " << a.statusLine;
      break;
    }
    size_t length = std::stoul(a.head.substr(at + 16));
    bool head = out.size() < headAnswers.size() && headAnswers[out.size()];
    size_t bodyLength = head ? 0 : length;
    a.body = raw.substr(end + 4, bodyLength);
    raw.erase(0, end + 4 + bodyLength);
    out.push_back(a);
  }
  return out;
}

std::string Answers(std::string_view bytes) { return AnswerBytes(bytes, Echo, "198.18.0.7"); }

}  // namespace

TEST(HttpRules, PipelinedRequestsAreAnsweredInOrderWithALengthEach) {
  std::string raw = Answers(
      "GET /loc/?abc HTTP/1.1\r\nHost: locd.test\r\n\r\n"
      "GET /missing HTTP/1.1\r\n\r\n"
      "HEAD /wiz.asp HTTP/1.1\r\n\r\n"
      "POST /loc/?x HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello"
      "GET /lookup/?country=US&zip=10001 HTTP/1.1\r\nConnection: close\r\n\r\n"
      "GET /never HTTP/1.1\r\n\r\n");
  auto a = Split(raw, {false, false, true});
  ASSERT_EQ(a.size(), 5u) << raw;
  EXPECT_EQ(a[0].statusLine, "HTTP/1.1 200 OK");
  EXPECT_EQ(a[0].body, "/loc/|abc|198.18.0.7") << "path and raw query split at the first '?'";
  EXPECT_TRUE(a[0].Has("content-length: 20"));
  EXPECT_FALSE(a[0].Has("connection: close")) << "HTTP/1.1 stays open";
  EXPECT_EQ(a[1].statusLine, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(a[1].body, "no such service\n");
  EXPECT_EQ(a[2].statusLine, "HTTP/1.1 200 OK");
  EXPECT_TRUE(a[2].Has("content-length: 20")) << "HEAD announces the body it leaves out: " << a[2].head;
  EXPECT_EQ(a[3].statusLine, "HTTP/1.1 405 Method Not Allowed") << "the body was read and dropped";
  EXPECT_TRUE(a[3].Has("allow: get, head"));
  EXPECT_EQ(a[4].body, "/lookup/|country=US&zip=10001|198.18.0.7");
  EXPECT_TRUE(a[4].Has("connection: close")) << "and nothing after it is answered";
}

TEST(HttpRules, Http10IsAnsweredInHttp10AndClosedUnlessKeptAlive) {
  auto once = Split(Answers("GET /wiz.asp HTTP/1.0\r\n\r\nGET /wiz.asp HTTP/1.0\r\n\r\n"));
  ASSERT_EQ(once.size(), 1u) << "an HTTP/1.0 connection ends after its answer";
  EXPECT_EQ(once[0].statusLine, "HTTP/1.0 200 OK");
  EXPECT_FALSE(once[0].Has("connection: keep-alive"));

  auto kept = Split(Answers("GET /a HTTP/1.0\r\nConnection: keep-alive\r\n\r\nGET /missing HTTP/1.0\r\n\r\n"));
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].statusLine, "HTTP/1.0 200 OK");
  EXPECT_TRUE(kept[0].Has("connection: keep-alive"));
  EXPECT_EQ(kept[1].statusLine, "HTTP/1.0 404 Not Found");

  auto newer = Split(Answers("GET /a HTTP/2.0\r\n\r\n"));
  ASSERT_EQ(newer.size(), 1u);
  EXPECT_EQ(newer[0].statusLine, "HTTP/1.1 505 HTTP Version Not Supported");
}

TEST(HttpRules, UnreadableRequestsGetAReasonAndTheConnectionEnds) {
  const struct {
    std::string bytes;
    const char* statusLine;
  } cases[] = {
      {"\x01\x02 garbage\r\n\r\nGET /a HTTP/1.1\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET /a HTTP/1.1\r\nNo colon here\r\n\r\n", "HTTP/1.1 400 Bad Request"},
      {"GET /" + std::string(hs::locd::kMaxRequestHead, 'a') + " HTTP/1.1\r\n\r\n",
       "HTTP/1.1 431 Request Header Fields Too Large"},
      {"GET /a HTTP/1.1\r\nContent-Length: " + std::to_string(hs::locd::kMaxRequestBody + 1) + "\r\n\r\n",
       "HTTP/1.1 413 Payload Too Large"},
  };
  for (const auto& c : cases) {
    auto a = Split(Answers(c.bytes));
    ASSERT_EQ(a.size(), 1u) << c.statusLine;
    EXPECT_EQ(a[0].statusLine, c.statusLine);
    EXPECT_TRUE(a[0].Has("connection: close")) << c.statusLine;
  }
  // A request cut short gets nothing: its sender has gone.
  EXPECT_EQ(Answers("GET /loc/?abc HTT"), "");
  EXPECT_EQ(Answers("GET /a HTTP/1.1\r\nContent-Length: 10\r\n\r\nabc"), "");
  EXPECT_EQ(Answers("POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n"), "");
  auto first = Split(Answers("GET /a HTTP/1.1\r\n\r\nGET /b HT"));
  ASSERT_EQ(first.size(), 1u) << "the whole request before it is still answered";
}
