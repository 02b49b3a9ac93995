#include "whois/query.h"

#include <arpa/inet.h>

#include "platform/clock.h"
#include "platform/tcp_client.h"
#include "whois/answers.h"

namespace hs::whois {
namespace {

using Table = config::WhoIsCache::Table;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

config::WhoIsCacheValue Answered(std::string text) {
  return config::WhoIsCacheValue{std::make_shared<const std::string>(std::move(text)), 0};
}

// A network name that two unrelated answers could share by accident (empty,
// or only the CR of a CR LF line end) does not count as one.
bool UsableNetName(const std::optional<std::string>& name) {
  return name && !name->empty() && *name != "\r";
}

}  // namespace

WhoIsQuerier::WhoIsQuerier(const WhoIsServerTable& table, RirIndex& rir, config::WhoIsCache& cache,
                           platform::Resolver& resolver, Options options)
    : table_(table), rir_(rir), cache_(cache), resolver_(resolver), options_(std::move(options)) {
  if (!options_.now) options_.now = [] { return platform::CalendarTime(); };
}

std::optional<std::string> WhoIsQuerier::WhoIsExchange(const WhoIsServer& server, std::string_view argument,
                                                       const CancellationWatch& watch) const {
  if (!Current(watch)) return std::nullopt;
  const uint32_t address = resolver_.FirstAddress(server.host).value_or(0);
  if (!Current(watch) || address == 0) return std::nullopt;

  const WhoIsLimits& l = options_.limits;
  const platform::TcpLimits limits{l.connectMs, l.receiveMs, l.exchangeMs, l.maxAnswerBytes, l.cancelPollMs};
  platform::TcpExchangeResult result = platform::TcpExchange(address, options_.port, WhoIsRequest(server, argument),
                                                             limits, [&] { return Current(watch); });
  switch (result.end) {
    case platform::TcpEnd::Closed:
    case platform::TcpEnd::ReceiveError:
    case platform::TcpEnd::ReceiveTimeout:
    case platform::TcpEnd::ExchangeTimeout:
      // Whatever ends the answer ends it; nothing at all is no answer.
      if (result.received.empty()) return std::nullopt;
      return std::move(result.received);
    default:
      return std::nullopt;
  }
}

std::shared_ptr<const std::string> WhoIsQuerier::CacheLookup(std::string_view key, bool network) const {
  const std::string k(key);
  return cache_.WithLock([&](Table& table) -> std::shared_ptr<const std::string> {
    const auto* entry = table.Find(k);
    if (!entry || !entry->value.answer) return nullptr;
    if (!network) return entry->value.answer;
    const std::string& value = *entry->value.answer;
    if (value.size() < 3) return nullptr;
    if (value[0] == '1') {
      const auto* named = table.Find(value.substr(3));
      return named ? named->value.answer : nullptr;
    }
    return std::make_shared<const std::string>(value.substr(3));
  });
}

void WhoIsQuerier::CacheStore(const std::string& key, std::string answer, bool network) const {
  while (!answer.empty() && answer.back() == '\n') answer.pop_back();
  const int64_t now = Now();
  cache_.WithLock([&](Table& table) {
    if (!network) {
      if (!StartsWith(answer, kNoMatchForDomain)) table.InsertReplace(key, Answered(std::move(answer)), now);
      return;
    }
    const std::optional<std::string> name = ExtractNetName(answer);
    if (UsableNetName(name)) {
      table.InsertReplace(key, Answered("1:\n" + *name), now);
      const auto* stored = table.Find(*name);
      // The first answer stored under a network name stays.
      if (!stored || !stored->value.answer) table.InsertReplace(*name, Answered(std::move(answer)), now);
    } else if (!StartsWith(answer, kNoMatchForNetwork)) {
      table.InsertReplace(key, Answered("0:\n" + answer), now);
    }
  });
}

std::shared_ptr<const std::string> WhoIsQuerier::TidyAndStore(std::string_view text, const std::string& key,
                                                              bool network) const {
  CacheStore(key, TidyAnswer(text), network);
  return CacheLookup(key, network);
}

std::shared_ptr<const std::string> WhoIsQuerier::QueryWhoIs(std::string_view text,
                                                            const CancellationWatch& watch) const {
  const bool network = IsNetworkQuery(text);
  if (text == "0.0.0.0") return nullptr;
  const WhoIsSelection selection = Select(text);
  if (!selection.row) return nullptr;
  const std::string& key = selection.key;
  if (auto cached = CacheLookup(key, network)) return cached;

  const std::vector<WhoIsServer>& servers = selection.row->servers;
  for (size_t i = 0; i < servers.size(); ++i) {
    const bool lastServer = i + 1 == servers.size();
    std::optional<std::string> received = WhoIsExchange(servers[i], key, watch);
    if (!Current(watch)) return nullptr;
    if (!received) continue;
    const std::string& answer = *received;

    if (HasNoEntries(answer)) continue;  // after the last server: no match, nothing stored
    if (HasRightsNotice(answer)) {
      if (lastServer) return TidyAndStore(FromFirstDomainLine(answer), key, network);
      continue;
    }
    if (IsBusyAnswer(answer)) {
      // Handed over as it came, and not cached: a later trace asks again.
      if (lastServer) return std::make_shared<const std::string>(std::move(*received));
      continue;
    }
    if (HasManyMatchesMarker(answer)) {
      if (network) {
        const uint32_t address = ntohl(platform::DottedToAddress(std::string(text)));
        const std::optional<std::string> handle = NetworkFollowUpHandle(answer, address);
        if (!handle) return nullptr;
        const std::optional<std::string> detail = WhoIsExchange(servers[i], *handle, watch);
        if (!Current(watch) || !detail) return nullptr;
        return TidyAndStore(*detail, key, network);
      }
      const DomainFollowUp followUp = FindDomainFollowUp(answer, key);
      switch (followUp.kind) {
        case DomainFollowUp::NoMatch: return nullptr;
        case DomainFollowUp::StoreAnswer: return TidyAndStore(answer, key, network);
        case DomainFollowUp::AskHandle: {
          const std::optional<std::string> detail = WhoIsExchange(servers[i], "!" + followUp.handle, watch);
          if (!Current(watch) || !detail) return nullptr;
          return TidyAndStore(*detail, key, network);
        }
      }
    }
    return TidyAndStore(answer, key, network);
  }
  return nullptr;
}

}  // namespace hs::whois
