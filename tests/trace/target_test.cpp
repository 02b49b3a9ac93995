// Target texts: parsing, classification and resolution.
#include <gtest/gtest.h>

#include "scripted.h"
#include "trace/target.h"

namespace hs::test {
namespace {

TEST(ParseTargetTest, UrlsAndBrowserErrorPagesYieldTheBareHostOtherTextStays) {
  TargetBuffer buffer;
  EXPECT_EQ(ParseTarget("http://user:pw@www.example.test:8080/path/x.html", &buffer), "www.example.test");
  EXPECT_EQ(buffer.Text(), "www.example.test");
  EXPECT_EQ(ParseTarget("https://example.test", nullptr), "example.test");
  const std::string url = "http://user@www.example.test:81/index.html";
  EXPECT_EQ(ParseTarget("res://shdoclc.dll/dnserror.htm#" + url, nullptr), "www.example.test");
  EXPECT_EQ(ParseTarget("res://shdoclc.dll/http_404.htm#" + url, nullptr), "www.example.test");
  buffer.SetTargetText("before");
  EXPECT_EQ(ParseTarget("router.example.test", &buffer), "router.example.test");
  EXPECT_EQ(ParseTarget("host:8080", &buffer), "host:8080");  // no "//" after the colon
  EXPECT_EQ(buffer.Text(), "before");
  buffer.SetTargetText(std::string(300, 'a'));
  EXPECT_EQ(buffer.Text().size(), 255u);
}

TEST(ResolveTest, DottedDecimalAndNames) {
  ScriptedResolver resolver;
  resolver.forward["host.test"] = Ip("198.18.3.4");
  EXPECT_EQ(Resolve("198.18.3.4", resolver), Ip("198.18.3.4"));
  EXPECT_EQ(Resolve("3323069188", resolver), Ip("198.18.3.4"));  // a bare number is a host-order address
  EXPECT_EQ(Resolve("4294967297", resolver), Ip("0.0.0.1"));     // and wraps at 32 bits
  EXPECT_EQ(Resolve("host.test", resolver), Ip("198.18.3.4"));
  EXPECT_EQ(Resolve("other.test", resolver), std::nullopt);
  EXPECT_EQ(Resolve("", resolver), std::nullopt);
  resolver.forward["blocked.test"] = 0;
  EXPECT_EQ(Resolve("blocked.test", resolver), 0u);  // an answer, not a failure
}

TEST(ClassifyTargetTest, AddressMailOrNameAndOnlyThreePrivateRanges) {
  EXPECT_EQ(ClassifyTarget("198.18.0.1"), TargetKind::Address);
  EXPECT_EQ(ClassifyTarget("me@example.test"), TargetKind::MailAddress);
  EXPECT_EQ(ClassifyTarget("example.test"), TargetKind::HostName);
  EXPECT_EQ(ClassifyTarget("12345"), TargetKind::HostName);  // no dot: not a dotted address
  for (const char* a : {"10.1.2.3", "172.16.0.1", "172.31.255.255", "192.168.200.1"})
    EXPECT_TRUE(IsPrivateAddress(Ip(a))) << a;
  for (const char* a : {"172.32.0.1", "198.18.0.1", "11.0.0.1"}) EXPECT_FALSE(IsPrivateAddress(Ip(a))) << a;
}

class ValidateTargetTest : public ::testing::Test {
 protected:
  ValidateTargetTest() {
    resolver.forward["example.test"] = Ip("198.18.5.5");
    TraceEngine::Platform p;
    p.resolver = &resolver;
    engine = std::make_unique<TraceEngine>(std::move(p));
    engine->Status().SetDisplay(&status);
  }
  ScriptedResolver resolver;
  RecordingStatus status;
  std::unique_ptr<TraceEngine> engine;
};

TEST_F(ValidateTargetTest, NamesAreResolvedWithoutOneTrailingDotAndMailTextPassesUnresolved) {
  std::string host = "example.test.";
  EXPECT_TRUE(engine->ValidateTarget(host));
  EXPECT_EQ(host, "example.test");
  EXPECT_TRUE(status.Showed("IP address found: 198.18.5.5"));
  std::string mail = "someone@example.test";
  EXPECT_TRUE(engine->ValidateTarget(mail));
  EXPECT_TRUE(status.Showed("someone@example.test is a possible e-mail address"));
  // A name that resolves to 0.0.0.0 is found; an unknown one is not.
  resolver.forward["blocked.test"] = 0;
  std::string blocked = "blocked.test";
  EXPECT_TRUE(engine->ValidateTarget(blocked));
  EXPECT_TRUE(status.Showed("IP address found: 0.0.0.0"));
  std::string unknown = "unknown.test";
  EXPECT_FALSE(engine->ValidateTarget(unknown));
  EXPECT_TRUE(status.Showed("Unable to obtain the IP address for unknown.test"));
}

TEST_F(ValidateTargetTest, DottedAddressStartingWithZeroIsRefused) {
  for (std::string bad : {"0.18.0.1", "0.0.0.0"}) EXPECT_FALSE(engine->ValidateTarget(bad)) << bad;
  // Only the first number counts, whatever the machine's byte order.
  for (std::string good : {"198.18.0.1", "198.18.0.0", "1.0.0.0"}) EXPECT_TRUE(engine->ValidateTarget(good)) << good;
}

}  // namespace
}  // namespace hs::test
