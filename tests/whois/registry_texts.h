// Answers in the styles the registries use, about documentation addresses
// and names, for the fake registry.
#pragma once

#include <string_view>

namespace hs::test::texts {

// ARIN, for 192.0.2.10: the two enclosing networks, the most specific last.
inline constexpr std::string_view kArinNetwork =
    "\n"
    "#\n"
    "# ARIN WHOIS data and services are subject to the Terms of Use\n"
    "#\n"
    "\n"
    "NetRange:       192.0.0.0 - 192.0.127.255\n"
    "NetName:        SPECIAL-IPV4-REGISTRY\n"
    "\n"
    "NetRange:       192.0.2.0 - 192.0.2.255\n"
    "NetName:        TEST-NET-1\n"
    "NetType:        IANA Special Use\n"
    "\n"
    "OrgName:        Internet Assigned Numbers Authority\n"
    "City:           Los Angeles\n"
    "PostalCode:     90292\n"
    "Country:        US\n";

// ARIN's classic layout: the owner's postal address right after the first line.
inline constexpr std::string_view kArinClassic =
    "Example Networks (NET-198-51-100-0-1)\n"
    "   100 Example Street\n"
    "   Dayton, OH 45402\n"
    "\n"
    "   Netname: EXAMPLE-NET\n"
    "   Netblock: 198.51.100.0 - 198.51.100.255\n";

// RIPE NCC with its rights notice, for 198.51.100.77.
inline constexpr std::string_view kRipeNetwork =
    "% This is the RIPE Whois query server #1.\n"
    "% Rights restricted by copyright. See http://www.ripe.net/db/copyright.html\n"
    "\n"
    "inetnum:        198.51.100.0 - 198.51.100.255\n"
    "netname:        EXAMPLE-DE-NET\n"
    "descr:          Example Carrier GmbH\n"
    "country:        DE\n";

// APNIC, for 203.0.113.5.
inline constexpr std::string_view kApnicNetwork =
    "% [whois.apnic.net]\n"
    "\n"
    "inetnum:        203.0.113.0 - 203.0.113.255\n"
    "netname:        TEST-NET-3\n"
    "country:\tJP\n"
    "source:         APNIC\n";

// The com registry about example.com, with the InterNIC's closing notice.
inline constexpr std::string_view kComDomain =
    "   Domain Name: EXAMPLE.COM\n"
    "   Registrar: RESERVED-Internet Assigned Numbers Authority\n"
    "Registrant:\n"
    "   Internet Assigned Numbers Authority\n"
    ">>> Last update of whois database: 2026-12-01T08:00:00Z <<<\n"
    "\n"
    "The InterNIC Registration Services database contains ONLY non-military and non-US Government\n"
    "Domains and contacts.\n";

// The com registry's many-matches answer for example.com.
inline constexpr std::string_view kComManyMatches =
    "Aborting search 50 records found .....\n"
    "Example Holdings (EXAMPLE7-DOM)                         EXAMPLE.COM.AU\n"
    "Example Corporation (EXAMPLE2-DOM)                      EXAMPLE.COM\n"
    "Example Networks (EXAMPLE9-DOM)                         EXAMPLE.NET\n"
    "\n"
    "To single out one record, look it up with \"!xxx\", where xxx is the\n"
    "handle, shown in parenthesis following the name, which comes first.\n";

// The record behind the handle EXAMPLE2-DOM.
inline constexpr std::string_view kComHandleRecord =
    "Registrant:\n"
    "Example Corporation (EXAMPLE2-DOM)\n"
    "   1 Example Plaza\n"
    "   Springfield, IL 62701\n"
    "\n"
    "   Domain Name: EXAMPLE.COM\n";

// ARIN's classic many-matches answer for 198.51.100.7: the enclosing block
// and the /24 (written with a last address ending in 0).
inline constexpr std::string_view kArinManyMatches =
    "Example Transit (NET-198-51-0-0-1)         198.51.0.0 - 198.51.255.255\n"
    "Example Hosting (NET-198-51-100-0-1)       198.51.100.0 - 198.51.100.0\n"
    "Example Other (NET-198-51-200-0-1)         198.51.200.0 - 198.51.200.255\n"
    "\n"
    "To single out one record, look it up with \"!xxx\", where xxx is the\n"
    "handle, shown in parenthesis following the name, which comes first.\n";

inline constexpr std::string_view kArinHandleRecord =
    "Example Hosting (NET-198-51-100-0-1)\n"
    "   200 Server Road\n"
    "   Austin, TX 78701-1234\n"
    "\n"
    "   Netname: EXAMPLE-HOSTING\n"
    "   Netblock: 198.51.100.0 - 198.51.100.255\n";

// A country registry with the RIPE rights notice, about example.at.
inline constexpr std::string_view kRightsNoticeDomain =
    "% Copyright (c)2026 by NIC.AT (1)\n"
    "% Rights restricted by copyright. See https://www.nic.at/en/about/policies/whois\n"
    "domain:         example.at\n"
    "registrant:     EX123-NICAT\n";

inline constexpr std::string_view kNoEntries = "No entries found for the selected source(s).\n";
inline constexpr std::string_view kBusy =
    "% Sorry, the system load is temporarily too heavy.\n"
    "% Please wait a while and try again.\n";

}  // namespace hs::test::texts
