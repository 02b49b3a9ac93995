// Whom to ask: the WhoIs server table. Rows map the end of a host name to a
// chain of servers with their query formats and to the number of trailing
// labels that make the registered domain; three further rows serve dotted
// addresses, one per regional registry. The table is built in, written to the
// user-editable HopWhoIs.ini when that file is missing, and read back from it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hs::whois {

class RirIndex;

struct WhoIsServer {
  std::string host;
  std::string queryFormat;  // "%s" stands for the query key
  friend bool operator==(const WhoIsServer&, const WhoIsServer&) = default;
};

struct WhoIsTableEntry {
  std::string extension;  // at most 7 characters; empty for the address rows
  int depth = 2;
  std::vector<WhoIsServer> servers;  // tried first to last
  friend bool operator==(const WhoIsTableEntry&, const WhoIsTableEntry&) = default;
};

inline constexpr size_t kMaxWhoIsRows = 255;
inline constexpr int kWhoIsFileVersion = 3000;
inline constexpr std::string_view kWhoIsFileName = "HopWhoIs.ini";

struct WhoIsServerTable {
  // Row 0: names whose last label is not two characters long and that no
  // other row serves; row 1: two-character last labels no other row serves;
  // rows 2 and on: searched in order.
  std::vector<WhoIsTableEntry> rows;
  int version = kWhoIsFileVersion;
  // The address rows, never written to the file.
  WhoIsTableEntry arinRow, apnicRow, ripeRow;

  // The built-in table.
  static WhoIsServerTable BuiltIn();
};

// The request line for a server: its format with the key in place of the
// first "%s" (other characters stay as they are), then CR LF.
std::string WhoIsRequest(const WhoIsServer& server, std::string_view key);

struct WhoIsSelection {
  const WhoIsTableEntry* row = nullptr;  // none: the name has no full stop
  std::string key;
};

// Chooses the row and the query key for a host name or a dotted address.
WhoIsSelection SelectWhoIsServer(const WhoIsServerTable& table, RirIndex& rir, std::string_view name);

// The one writer and the one reader of HopWhoIs.ini.
std::string FormatWhoIsFile(const WhoIsServerTable& table);
// Reads the file's text over the built-in table (rows 0 and 1 restored from
// the pristine copy first; the address rows stay built in).
WhoIsServerTable ParseWhoIsFile(std::string_view text);
// Parses one row line; false when the line is rejected.
bool ParseWhoIsRow(std::string_view line, size_t rowIndex, WhoIsTableEntry& row);

// At start-up: reads `<dataDir>/HopWhoIs.ini`, or writes it from the built-in
// table when it does not exist. A file that exists but cannot be read is left
// alone and the built-in table is used.
WhoIsServerTable LoadWhoIsServers(const std::string& dataDir);

}  // namespace hs::whois
