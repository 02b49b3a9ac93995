#include "server/locd/service.h"

namespace hs::locd {
namespace {

Reply Bad(int status, std::string why) { return Reply{status, std::move(why) + "\n"}; }

bool IsPlainAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c < 0x20 || c >= 0x7f) return false;
  return true;
}

}  // namespace

Reply LocService::Handle(std::string_view path, std::string_view query, std::string_view remote) const {
  if (query.size() > kMaxQueryLength) return Bad(414, "request too long");
  if (!IsPlainAscii(query)) return Bad(400, "request holds bytes outside printable ASCII; percent-encode them");
  if (path == "/loc/" || path == "/loc") return Route(query);
  if (path == "/lookup/" || path == "/lookup") return Place(query);
  if (path == "/wiz.asp") return Countries(remote);
  if (path == "/flexcheck/" || path == "/flexcheck") return Update(query);
  return Bad(404, "no such service");
}

Reply LocService::Route(std::string_view query) const {
  std::string why;
  auto req = locwire::ReadRouteRequest(query, &why);
  if (!req) return Bad(400, "bad route request: " + why);
  std::vector<locwire::RouteEntry> entries;
  entries.reserve(req->hops.size());
  for (const locwire::RouteHop& hop : req->hops) entries.push_back(data_.RouteEntryFor(hop));
  return Reply{200, locwire::WriteRouteAnswer(entries)};
}

Reply LocService::Place(std::string_view query) const {
  std::string why;
  auto q = locwire::ReadPlaceQuery(query, &why);
  if (!q) return Bad(400, "bad place lookup: " + why);
  return Reply{200, locwire::WritePlaceAnswer(data_.Lookup(*q))};
}

Reply LocService::Countries(std::string_view remote) const {
  std::string suggested = options_.defaultCountry;
  if (auto a = locwire::ParseDotted(remote))
    if (auto p = data_.Locate(AddressValue(*a)); p && !p->country.empty() && data_.FindCountry(p->country))
      suggested = p->country;
  std::string body = locwire::WriteCountryList(data_.CountryListFor(suggested));
  if (body.size() >= locwire::kCountryListCapacity) return Bad(500, "country list too long for clients");
  return Reply{200, std::move(body)};
}

Reply LocService::Update(std::string_view query) const {
  if (!locwire::ReadUpdateRequest(query)) return Bad(400, "bad update check: expected 24 hex digits");
  return Reply{200, locwire::WriteUpdateAnswer(options_.update)};
}

std::optional<locwire::UpdateAnswer> ParseUpdateSetting(std::string_view s) {
  using locwire::UpdateAnswer;
  UpdateAnswer a;
  auto after = [&](std::string_view prefix) { return s.substr(prefix.size()); };
  if (s == "current") {
    a.kind = UpdateAnswer::Current;
  } else if (s == "new") {
    a.kind = UpdateAnswer::NewVersion;
  } else if (s.starts_with("new:")) {
    a.kind = UpdateAnswer::NewVersion;
    a.address = std::string(after("new:"));
    if (a.address.find("http") == std::string::npos) return std::nullopt;
  } else if (s.starts_with("info:")) {
    std::string_view rest = after("info:");
    size_t bar = rest.find('|');
    if (bar == std::string_view::npos || bar == 0 || bar + 1 == rest.size()) return std::nullopt;
    a.kind = UpdateAnswer::Information;
    a.message = std::string(rest.substr(0, bar));
    a.address = std::string(rest.substr(bar + 1));
  } else if (s.starts_with("open:") && s.size() > 5) {
    a.kind = UpdateAnswer::OpenPage;
    a.address = std::string(after("open:"));
  } else {
    return std::nullopt;
  }
  for (const std::string* t : {&a.message, &a.address})
    if (t->find_first_of("\r\n") != std::string::npos) return std::nullopt;
  if (locwire::WriteUpdateAnswer(a).size() > locwire::kUpdateAnswerLimit) return std::nullopt;
  return a;
}

}  // namespace hs::locd
