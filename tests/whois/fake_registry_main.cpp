// fake-whois-registry ADDRESS PORT: one registry for every registry, for the
// lab. An address query gets an ARIN-style network answer naming the /24 it
// lies in (LAB-NET-<third number>); any other query gets a domain answer.
// Prints "listening ADDRESS PORT" once ready and each request as it comes;
// runs until SIGTERM or SIGINT.
#include <signal.h>

#include <cstdio>
#include <string>

#include "tests/whois/fake_registry.h"

namespace {

bool IsAddress(const std::string& text) {
  int dots = 0;
  for (char c : text) {
    if (c == '.') ++dots;
    else if (c < '0' || c > '9') return false;
  }
  return dots == 3;
}

std::string NetworkAnswer(const std::string& address) {
  const std::string prefix = address.substr(0, address.rfind('.'));
  const std::string third = prefix.substr(prefix.rfind('.') + 1);
  return "\n#\n# ARIN WHOIS data and services are subject to the Terms of Use\n#\n\n"
         "NetRange:       " + prefix + ".0 - " + prefix + ".255\n"
         "CIDR:           " + prefix + ".0/24\n"
         "NetName:        LAB-NET-" + third + "\n"
         "NetHandle:      NET-" + prefix + "-0-1\n"
         "OrgName:        HopSight Lab Link " + third + "\n"
         "City:           Dayton\n"
         "Country:        US\n";
}

std::string DomainAnswer(const std::string& request) {
  std::string key = request;
  if (key.rfind("DO ", 0) == 0) key.erase(0, 3);
  return "   Domain Name: " + key + "\n"
         "Registrant:\n"
         "   HopSight Lab Registrant\n"
         "   1 Namespace Way\n"
         "   Dayton, OH 45402\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fake-whois-registry ADDRESS PORT\n");
    return 2;
  }
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before any thread starts

  try {
    hs::test::FakeRegistry registry(argv[1], static_cast<uint16_t>(std::stoi(argv[2])));
    registry.AnswerOthers([](const std::string& request) {
      std::printf("request %s\n", request.c_str());
      std::fflush(stdout);
      return hs::test::FakeReply::Of(IsAddress(request) ? NetworkAnswer(request) : DomainAnswer(request));
    });
    std::printf("listening %s %u\n", argv[1], registry.Port());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "fake-whois-registry: %s\n", e.what());
    return 1;
  }
  return 0;
}
