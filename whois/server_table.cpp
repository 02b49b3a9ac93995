#include "whois/server_table.h"

#include "config/text_fields.h"
#include "i18n/language.h"
#include "platform/files.h"
#include "whois/rir_index.h"
#include "whois/text_lines.h"

namespace hs::whois {
namespace {

// Hosts of the built-in table: the port-43 server that IANA's root zone
// database names for each extension, as compiled in December 2026 (not looked
// up from here; users can change any of them in HopWhoIs.ini).
constexpr const char* kRipeNcc = "whois.ripe.net";
constexpr const char* kComRegistry = "whois.verisign-grs.com";
constexpr const char* kInterNic = "whois.internic.net";
// The open WhoIs proxies of old are gone. IANA's server is the last resort
// that remains: for any name it answers with the record of the name's
// extension, which names the registry and its contacts.
constexpr const char* kProxy = "whois.iana.org";
// Rows whose registry no longer runs (or never ran) a port-43 server also
// fall back to IANA's record of the extension.
constexpr const char* kNoPort43 = kProxy;

struct BuiltInRow {
  const char* extension;
  int depth;
  std::vector<WhoIsServer> servers;
};

std::vector<WhoIsServer> One(const char* host) { return {{host, "%s"}}; }

const std::vector<BuiltInRow>& BuiltInRows() {
  static const std::vector<BuiltInRow> rows = [] {
    const auto ripe = One(kRipeNcc);
    const auto proxy = One(kProxy);
    // Once served by one registry each; the shared rows keep sharing one host.
    const auto usAndInt = One("whois.nic.us");  // .int itself is answered by whois.iana.org
    const auto adamsNames = One("whois.nic.tc");  // today .gs .ms .tf .vg run their own whois.nic.<tld>
    return std::vector<BuiltInRow>{
        {"com", 2, {{kComRegistry, "DO %s"}, {kInterNic, "DO %s"}, {kProxy, "%s"}}},
        {"eur", 2, ripe},
        // .mil has no public port-43 server any more; the historic host stays as the row's placeholder.
        {"mil", 2, {{"whois.nic.mil", "DO %s"}}},
        {"gov", 2, {{"whois.nic.gov", "DO %s"}}},
        {"au", 3, One("whois.auda.org.au")},
        {"ca", 2, One("whois.cira.ca")},
        {"ch", 2, One("whois.nic.ch")},
        {"es", 2, One("whois.nic.es")},  // answers only addresses registered with the registry
        {"fr", 2, One("whois.nic.fr")},
        {"it", 2, One("whois.nic.it")},
        {"jp", 3, {{"whois.jprs.jp", "%s /e"}, {kProxy, "%s"}}},
        {"kr", 3, One("whois.kr")},
        {"li", 2, One("whois.nic.li")},
        {"mx", 3, One("whois.mx")},
        {"nl", 2, One("whois.domain-registry.nl")},
        {"nu", 2, One("whois.iis.nu")},
        {"ru", 2, {{"whois.tcinet.ru", "%s"}, {kProxy, "%s"}}},
        {"se", 2, One("whois.iis.se")},
        {"sg", 2, One("whois.sgnic.sg")},
        {"sk", 2, ripe},
        {"th", 2, One("whois.thnic.co.th")},
        {"tw", 3, One("whois.twnic.net.tw")},
        {"ac.uk", 3, One("whois.ja.net")},
        {"uk", 3, One("whois.nic.uk")},
        {"us", 2, usAndInt},
        {"il", 3, One("whois.isoc.org.il")},
        {"ar", 3, ripe},
        {"ad", 2, ripe},
        {"ae", 3, ripe},
        {"af", 2, One("whois.nic.af")},
        {"al", 2, ripe},
        {"am", 2, ripe},
        {"as", 2, One("whois.nic.as")},
        {"at", 2, One("whois.nic.at")},
        {"az", 2, ripe},
        {"ba", 3, ripe},
        {"be", 2, One("whois.dns.be")},
        {"bg", 2, ripe},
        {"bm", 2, One(kNoPort43)},  // no port-43 server
        {"br", 3, One("whois.registro.br")},
        {"bt", 2, One(kNoPort43)},  // no port-43 server
        {"by", 2, ripe},
        {"cc", 2, One("ccwhois.verisign-grs.com")},
        {"ck", 3, One(kNoPort43)},  // no port-43 server
        {"cx", 2, One("whois.nic.cx")},
        {"cy", 3, ripe},
        {"cz", 2, ripe},
        {"de", 2, One("whois.denic.de")},
        {"dk", 2, One("whois.punktum.dk")},
        {"dz", 2, ripe},
        {"ee", 3, ripe},
        {"eg", 2, ripe},
        {"fi", 2, ripe},
        {"fo", 2, ripe},
        {"ge", 3, ripe},
        {"gf", 2, One("whois.mediaserv.net")},
        {"gi", 2, One("whois2.afilias-grs.net")},
        {"gl", 2, ripe},
        {"gm", 2, ripe},
        {"gr", 2, ripe},
        {"gs", 2, adamsNames},
        {"hk", 3, {{"whois.hkirc.hk", "%s"}, {kProxy, "%s"}}},
        {"hm", 2, One("whois.registry.hm")},
        {"hr", 2, ripe},
        {"hu", 2, ripe},
        {"id", 3, One("whois.id")},
        {"ie", 2, One("whois.weare.ie")},
        {"in", 2, One("whois.registry.in")},
        {"io", 2, One("whois.nic.io")},
        {"is", 2, One("whois.isnic.is")},
        {"jo", 3, ripe},
        {"kz", 2, One("whois.nic.kz")},
        {"lk", 2, One("whois.nic.lk")},
        {"lt", 2, ripe},
        {"lu", 2, One("whois.dns.lu")},
        {"lv", 2, ripe},
        {"ly", 2, One("whois.nic.ly")},
        {"ma", 2, ripe},
        {"mc", 2, ripe},
        {"md", 2, ripe},
        {"mk", 3, ripe},
        {"mm", 2, One(kNoPort43)},  // no port-43 server
        {"ms", 2, adamsNames},
        {"mt", 2, ripe},
        {"no", 2, One("whois.norid.no")},
        {"nz", 3, One("whois.irs.net.nz")},
        {"pe", 3, One("kero.yachay.pe")},
        {"pk", 3, One(kNoPort43)},  // no port-43 server (the registry answers on the web only)
        {"pl", 2, ripe},
        {"pr", 2, One("whois.afilias-srs.net")},
        {"pt", 2, ripe},
        {"pw", 2, One("whois.nic.pw")},
        {"ro", 2, One("whois.rotld.ro")},
        {"sh", 2, One("whois.nic.sh")},
        {"si", 2, One("whois.register.si")},
        {"sm", 2, ripe},
        {"so", 2, One("whois.nic.so")},
        {"st", 2, One("whois.nic.st")},
        {"sy", 3, proxy},
        {"tc", 2, adamsNames},
        {"tf", 2, adamsNames},
        {"tj", 2, One(kNoPort43)},  // no port-43 server
        {"tm", 2, One("whois.nic.tm")},
        {"tn", 2, ripe},
        {"to", 2, One("whois.tonic.to")},
        {"tr", 3, ripe},
        {"tt", 3, proxy},
        {"tv", 2, proxy},
        {"ua", 3, One("whois.ua")},
        {"va", 2, ripe},
        {"ve", 2, One("whois.nic.ve")},
        {"vg", 2, adamsNames},
        {"yu", 2, ripe},  // retired in 2010; kept for old names in caches and histories
        {"za", 3, One("whois.registry.net.za")},  // serves co.za, org.za, net.za, web.za
        {"ac", 2, One("whois.nic.ac")},
        {"cl", 2, One("whois.nic.cl")},
        {"cn", 3, One("whois.cnnic.cn")},
        {"do", 2, One("whois.nic.do")},
        {"fj", 3, One("www.whois.fj")},
        {"ga", 2, ripe},
        {"kg", 2, One("whois.kg")},
        {"ng", 2, One("whois.nic.net.ng")},
        {"ws", 2, One("whois.website.ws")},
        {"int", 2, usAndInt},
    };
  }();
  return rows;
}

WhoIsTableEntry AddressRow(const char* host) { return {"", 4, One(host)}; }

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

void AppendRow(std::string& out, const WhoIsTableEntry& row) {
  out += row.extension;
  out += ", ";
  config::AppendInt(out, row.depth);
  for (const WhoIsServer& server : row.servers) {
    out += ", ";
    out += server.host;
    out += ", \"";
    out += server.queryFormat;
    out += '"';
  }
  out += '\n';
}

constexpr size_t kMaxLineChars = 1023;  // lines are read into a 1024-byte buffer
constexpr size_t kMaxExtension = 7;

}  // namespace

WhoIsServerTable WhoIsServerTable::BuiltIn() {
  WhoIsServerTable table;
  for (const BuiltInRow& r : BuiltInRows()) table.rows.push_back({r.extension, r.depth, r.servers});
  table.arinRow = AddressRow("whois.arin.net");
  table.apnicRow = AddressRow("whois.apnic.net");
  table.ripeRow = AddressRow(kRipeNcc);
  return table;
}

std::string WhoIsRequest(const WhoIsServer& server, std::string_view key) {
  // Never a printf format: the file is the user's, and a stray "%n" must stay text.
  std::string request = server.queryFormat;
  if (const size_t at = request.find("%s"); at != std::string::npos) request.replace(at, 2, key);
  request += "\r\n";
  return request;
}

WhoIsSelection SelectWhoIsServer(const WhoIsServerTable& table, RirIndex& rir, std::string_view name) {
  WhoIsSelection selection;
  const size_t lastDot = name.rfind('.');
  if (lastDot == std::string_view::npos) return selection;
  const std::string_view lastLabel = name.substr(lastDot + 1);

  bool address = true;
  for (char c : lastLabel) address = address && IsAsciiDigit(c);
  if (address) {
    selection.key = std::string(name);
    switch (rir.RirOf(name)) {
      case kRirApnic: selection.row = &table.apnicRow; break;
      case kRirRipe: selection.row = &table.ripeRow; break;
      default: selection.row = &table.arinRow; break;
    }
    return selection;
  }

  // Suffix match without regard to label boundaries, case-sensitive.
  for (size_t i = 2; i < table.rows.size() && !selection.row; ++i) {
    const std::string& extension = table.rows[i].extension;
    if (name.size() >= extension.size() && name.substr(name.size() - extension.size()) == extension)
      selection.row = &table.rows[i];
  }
  if (!selection.row && table.rows.size() >= 2) selection.row = &table.rows[lastLabel.size() == 2 ? 1 : 0];
  if (!selection.row) return selection;

  // The key: as many trailing labels as the row's depth.
  const int depth = selection.row->depth;
  int count = 1;
  selection.key = std::string(name);
  for (size_t i = lastDot; i-- > 0;) {
    if (name[i] != '.') continue;
    if (++count == depth) {
      selection.key = std::string(name.substr(i + 1));
      break;
    }
  }
  return selection;
}

std::string FormatWhoIsFile(const WhoIsServerTable& table) {
  // The one line of the file in the user's language.
  // TRANSLATORS: the first line of the WhoIs server file. Keep "**Version:%d"
  // exactly as it is at the start: the program finds the version by it.
  std::string out = i18n::Tr(NC_("254", "**Version:%d <-- do not modify!**"), int(table.version));
  out += "\n";
  out += "*** This file generated by HopSight.  Modify with caution.\n";
  out += "** Format: Domain extension, Domain depth, <WhoIs server, WhoIs query>...\n";
  out += "\n[Default WhoIs Servers]\n";
  for (size_t i = 0; i < 2 && i < table.rows.size(); ++i) AppendRow(out, table.rows[i]);
  out += "\n[WhoIs Servers]\n";
  for (size_t i = 2; i < table.rows.size(); ++i) AppendRow(out, table.rows[i]);
  return out;
}

bool ParseWhoIsRow(std::string_view line, size_t rowIndex, WhoIsTableEntry& row) {
  if (rowIndex >= kMaxWhoIsRows) return false;
  WhoIsTableEntry parsed;

  std::string_view extension = line.substr(0, kMaxExtension);
  size_t cut = 0;
  while (cut < extension.size() && (IsAsciiLetter(extension[cut]) || extension[cut] == '.')) ++cut;
  parsed.extension = std::string(extension.substr(0, cut));

  size_t pos = line.find(',');
  if (pos == std::string_view::npos) return false;
  while (pos < line.size() && !IsAsciiDigit(line[pos])) ++pos;
  if (pos >= line.size()) return false;
  parsed.depth = line[pos] - '0';
  ++pos;

  for (;;) {
    const size_t comma = line.find(',', pos);
    if (comma == std::string_view::npos) break;
    size_t hostStart = comma + 1;
    while (hostStart < line.size() && IsBlank(line[hostStart])) ++hostStart;
    if (hostStart >= line.size() || !IsAsciiLetter(line[hostStart])) break;  // a host begins with a letter
    const size_t hostEnd = line.find(',', hostStart);
    if (hostEnd == std::string_view::npos) break;
    const size_t open = line.find('"', hostEnd);
    if (open == std::string_view::npos) break;
    const size_t close = line.find('"', open + 1);
    if (close == std::string_view::npos) break;
    std::string_view host = line.substr(hostStart, hostEnd - hostStart);
    while (!host.empty() && IsBlank(host.back())) host.remove_suffix(1);
    parsed.servers.push_back({std::string(host), std::string(line.substr(open + 1, close - open - 1))});
    pos = close + 1;
  }
  if (parsed.servers.empty()) return false;
  row = std::move(parsed);
  return true;
}

WhoIsServerTable ParseWhoIsFile(std::string_view text) {
  static const WhoIsServerTable pristine = WhoIsServerTable::BuiltIn();
  WhoIsServerTable table;
  table.rows = {pristine.rows[0], pristine.rows[1]};  // count 2, rows 0 and 1 from the pristine copy
  table.arinRow = pristine.arinRow;
  table.apnicRow = pristine.apnicRow;
  table.ripeRow = pristine.ripeRow;

  BoundedLines lines(text, kMaxLineChars);
  std::string_view line;
  bool found = false;
  while (!found && lines.Next(line)) {
    if (StartsWith(line, "[Default WhoIs Servers]")) {
      found = true;
    } else if (StartsWith(line, "**Version:")) {
      table.version = config::LeadingInt(line.substr(10));
    }
  }
  if (!found) return table;

  for (size_t i = 0; i < 2; ++i) {
    if (!lines.Next(line) || line.empty() || !IsAsciiLetter(line[0])) return table;
    if (!ParseWhoIsRow(line, i, table.rows[i])) {
      table.rows[0] = pristine.rows[0];
      table.rows[1] = pristine.rows[1];
      return table;
    }
  }

  found = false;
  while (!found && lines.Next(line)) found = StartsWith(line, "[WhoIs Servers]");
  if (!found) return table;
  while (lines.Next(line) && !line.empty() && IsAsciiLetter(line[0])) {
    WhoIsTableEntry row;
    if (ParseWhoIsRow(line, table.rows.size(), row)) table.rows.push_back(std::move(row));
  }
  return table;
}

WhoIsServerTable LoadWhoIsServers(const std::string& dataDir) {
  const std::string path = dataDir + "/" + std::string(kWhoIsFileName);
  if (const auto text = platform::ReadWholeFile(path)) return ParseWhoIsFile(*text);
  WhoIsServerTable table = WhoIsServerTable::BuiltIn();
  // Only a missing file is written anew: an existing one that cannot be read
  // is the user's and stays as it is.
  if (platform::FileMissing(path)) platform::ReplaceFileAtomically(path, FormatWhoIsFile(table));
  return table;
}

}  // namespace hs::whois
