#include "cli/whois_report.h"

#include "whois/answers.h"
#include "whois/domain_record.h"

namespace hs::cli {

DestinationWhoIs DestinationWhoIsTexts(const TraceContext& context, const std::vector<HopRef>& rows) {
  DestinationWhoIs texts;
  if (rows.empty() || !rows.back()) return texts;
  const HopRecord& last = *rows.back();
  if (context.targetAddress == 0 || last.address != context.targetAddress) return texts;
  if (const auto record = last.DomainRecordOf(); record && record->answer)
    texts.registrant = std::string(whois::FromRegistrant(*record->answer));
  if (const auto network = last.WhoisText())
    texts.network = std::string(whois::FromRegistrant(*network));
  return texts;
}

std::string FormatDestinationWhoIs(const DestinationWhoIs& texts) {
  std::string out;
  auto section = [&out](const char* title, const std::optional<std::string>& text) {
    const std::string heading = title;
    out += heading + "\n" + std::string(heading.size(), '-') + "\n";
    out += text ? *text : "(no answer)";
    if (out.back() != '\n') out += '\n';
  };
  section("Registrant", texts.registrant);
  out += '\n';
  section("Network", texts.network);
  return out;
}

}  // namespace hs::cli
