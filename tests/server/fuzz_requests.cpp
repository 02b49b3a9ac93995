// Fuzzes the request readers and the request handling behind them: any query
// text on any path must give a reply, and what a reader accepts must survive
// a write and a second read unchanged.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/number_text.h"
#include "server/wire/locwire.h"
#include "tests/server/small_service.h"

using namespace hs::locwire;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the path, the rest is the raw query.
  static const char* kPaths[] = {"/loc/", "/lookup/", "/wiz.asp", "/flexcheck/"};
  std::string query(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  hs::locd::Reply r = hs::test::SmallDataService().Handle(kPaths[bytes[0] % 4], query, "127.0.0.1");
  if (r.status == 200 && bytes[0] % 4 == 0) {
    auto req = ReadRouteRequest(query);
    if (!req || !ReadRouteAnswer(r.body, req->hops.size())) std::abort();
  }
  if (auto req = ReadRouteRequest(query)) {
    std::string again = WriteRouteRequest(*req).substr(5);
    if (ReadRouteRequest(again) != req) std::abort();
  }
  if (auto q = ReadPlaceQuery(query)) {
    std::string text = WritePlaceQuery(*q);  // "lookup/" alone when no key was given
    if (q->url && q->url->empty()) q->url.reset();  // an empty url is not sent
    if (ReadPlaceQuery(text.substr(std::min<size_t>(8, text.size()))) != q) std::abort();
    WizardPlaceQuery w{q->country.value_or(""), q->city.value_or(""), q->zip.value_or(""), q->state.value_or("")};
    auto back = ReadPlaceQuery(WriteWizardPlaceQuery(w).substr(8));
    if (!back || back->country.value_or("") != w.country || back->city.value_or("") != w.city.substr(0, kWizardFieldLimit) ||
        back->zip.value_or("") != w.zip.substr(0, kWizardFieldLimit) ||
        back->state.value_or("") != w.state.substr(0, kWizardFieldLimit))
      std::abort();
  }
  if (auto id = ReadUpdateRequest(query)) {
    if (ReadUpdateRequest(WriteUpdateRequest(*id).substr(11)) != id) std::abort();
  }
  ReadRouteAnswer(query, query.size() / 10);
  ReadPlaceAnswer(query);
  // The place lookup's verdict: good only for "TVGS0" with a ',' at or after
  // offset 6, and a position only with a good verdict.
  PlaceLookupResult lookup = ReadPlaceLookupAnswer(query);
  if (!std::isfinite(lookup.latitude) || !std::isfinite(lookup.longitude)) std::abort();
  if (lookup.verdict == kVerdictGood && (query.substr(0, 4) != "TVGS" || hs::config::LeadingInt(query.substr(4)) != 0 ||
                                         query.find(',', 6) == std::string::npos))
    std::abort();
  if (lookup.verdict != kVerdictGood && (lookup.latitude != 0 || lookup.longitude != 0)) std::abort();
  ReadCountryList(query);
  ReadUpdateAnswer(query);
  return 0;
}
