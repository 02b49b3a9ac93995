#include "cli/whois_report.h"

#include "cli/texts.h"
#include "i18n/language.h"
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
  auto section = [&out](const char* title, const std::optional<std::string>& answer) {
    const std::string heading = title;
    out += heading + "\n" + std::string(text::DisplayWidth(heading), '-') + "\n";
    out += answer ? *answer : i18n::Tr(text::kNoAnswer);
    if (out.back() != '\n') out += '\n';
  };
  // The tabs' captions in the window.
  section(i18n::Tr(NC_("15020", "Registrant")), texts.registrant);
  out += '\n';
  section(i18n::Tr(NC_("15022", "Network")), texts.network);
  return out;
}

}  // namespace hs::cli
