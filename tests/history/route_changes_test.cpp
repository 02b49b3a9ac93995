// What changed since the recorded trace: the hops whose address differs.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "trace/route_changes.h"

namespace hs {
namespace {

std::vector<HopRef> Rows(std::initializer_list<const char*> addresses) {
  std::vector<HopRef> rows;
  for (const char* a : addresses) {
    HopRef r = HopRef::Create();
    r->address = inet_addr(a);
    rows.push_back(r);
  }
  return rows;
}

std::vector<TraceHopEntry> Recorded(std::initializer_list<const char*> addresses) {
  std::vector<TraceHopEntry> entries;
  for (const char* a : addresses) entries.push_back({inet_addr(a), 5, 11013, 0});
  return entries;
}

std::vector<std::string> Lines(const std::vector<RouteChange>& changes) {
  std::vector<std::string> out;
  for (const RouteChange& c : changes) out.push_back(RouteChangeLine(c));
  return out;
}

TEST(RouteChanges, EachDifferingHopIsOneLineNumberedLikeTheHashColumn) {
  const auto changes = CompareRoutes(Recorded({"198.18.1.1", "198.18.1.2", "0.0.0.0", "198.18.4.2", "198.18.7.2"}),
                                     Rows({"198.18.1.1", "198.18.1.2", "198.18.31.2", "0.0.0.0", "198.18.7.2"}));
  EXPECT_EQ(Lines(changes), (std::vector<std::string>{"hop 3: no reply -> 198.18.31.2", "hop 4: 198.18.4.2 -> no reply"}));
  EXPECT_EQ(changes[0].row, 2);
}

TEST(RouteChanges, HopsThatOnlyOneSideHasAreChangesToo) {
  EXPECT_EQ(Lines(CompareRoutes(Recorded({"198.18.1.1", "198.18.2.2", "198.18.7.2"}),
                                Rows({"198.18.1.1", "198.18.7.2"}))),
            (std::vector<std::string>{"hop 2: 198.18.2.2 -> 198.18.7.2", "hop 3: 198.18.7.2 -> none"}));
  EXPECT_EQ(Lines(CompareRoutes(Recorded({"198.18.1.1"}), Rows({"198.18.1.1", "0.0.0.0"}))),
            (std::vector<std::string>{"hop 2: none -> no reply"}));
}

}  // namespace
}  // namespace hs
