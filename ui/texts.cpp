#include "ui/texts.h"

namespace hs::ui {
namespace {

const char* English(TextId id) {
  switch (id) {
    case TextId::ErrorTitle: return "Error";
    case TextId::NoMapsCaption: return "Map Loading Error";
    case TextId::NoMapsText: return "No Map files found!";
    case TextId::ErrorNotResolved:
      return "The domain name entered could not be resolved.  Ensure you spelled it correctly, and that you are "
             "connected to the Internet.";
    case TextId::ErrorInvalidAddress:
      return "An invalid IP address format was entered.  IP addresses are composed of 4 numbers 1-255 separated "
             "by periods (e.g. 192.168.1.2)";
    case TextId::MapTab: return "Map View";
    case TextId::ListTab: return "List View";
    case TextId::RegistrantTab: return "Registrant";
    case TextId::NetworkTab: return "Network";
    case TextId::UpdateInformationTitle: return "HopSight Express Information";
    case TextId::NewVersionText:
      return "A new version of HopSight Express is available.\nPress \"OK\" to GoOnline for the latest version\n"
             " or \"Cancel\" to continue the program.";
    case TextId::NewVersionTitle: return "New Version Available!";
    case TextId::WorldMapMissingText:
      return "World Map not found.  A world map file is required for the program to operate properly.";
    case TextId::WorldMapMissingCaption: return "Map Loading Error";
    case TextId::TraceInterrupted: return "Trace interrupted";
    case TextId::StopTrace: return "Stop trace";
    case TextId::StartTrace: return "Start trace";
    case TextId::Yes: return "&Yes";
    case TextId::No: return "&No";
    case TextId::Ok: return "OK";
    case TextId::Cancel: return "Cancel";
    case TextId::BoxCharSet: return "0";
    case TextId::BoxFontFace: return "MS Sans Serif";
    case TextId::ColumnNumber: return "#";
    case TextId::ColumnAddress: return "IP Address";
    case TextId::ColumnName: return "Name";
    case TextId::ColumnRoundTrip: return "RT (ms)";
    case TextId::ColumnAverage: return "Ave (ms)";
    case TextId::ColumnMinimum: return "Min (ms)";
    case TextId::ColumnMaximum: return "Max (ms)";
    case TextId::ColumnSent: return "# Sent Packets";
    case TextId::ColumnDropped: return "# Dropped Packets";
    case TextId::ColumnLoss: return "% Loss";
    case TextId::ColumnNetwork: return "Network";
    case TextId::ColumnGraph: return "Graph";
    case TextId::ProgramName: return "HopSight";
    case TextId::TraceEngine: return "Trace engine";
    case TextId::Help: return "Help";
    case TextId::DatabaseOpenFailed: return "\"Unable to open file HopSight.gdp.\"";
    case TextId::DatabaseInvalid: return "Invalid file HopSight.gdp (0x%x)";
    case TextId::DatabaseInvalidTitle: return "Error (LocDBInit)";
    case TextId::DatabaseNeedsUpdate:
      return "The file Hopsight.gdp needs to be updated.\n\nPlease install the latest version of HopSight from "
             "its web site to get a current location database.";
    case TextId::DatabaseNeedsUpdateTitle: return "Hopsight Error";
    case TextId::ServersUnreachable:
      return "The location server could not be contacted.  Please ensure you are connected to the Internet.  If "
             "your Internet connection appears to be working correctly, there may be some problem in reaching "
             "the server.  Please try again later.";
    case TextId::ServersUnreachableTitle: return "Error Contacting Server";
    case TextId::IcmpUnavailableTitle: return "Tracing Not Permitted";
    case TextId::ColumnAs: return "AS";
    case TextId::PlausibleTip:
      return "Plausible position: %1 km from your home location; a reply after %2 ms can come from up to %3 km "
             "away.";
    case TextId::ImplausibleTip:
      return "Implausible position: %1 km from your home location, but a reply after %2 ms can come from at most "
             "%3 km away (%4 km of that for the precision of the two positions). The hop is nearer than the map "
             "shows.";
    case TextId::NotJudgedNoTime: return "Position not judged: the hop has no round-trip time.";
    case TextId::NotJudgedNoHome: return "Position not judged: no home location is set.";
    case TextId::HomeReference: return "Your home location: the positions of the other hops are judged against it.";
    case TextId::ChangedHopTip: return "Changed since the trace recorded %1: this hop was %2.";
    case TextId::RouteNoReply: return "no reply";
    case TextId::RouteNoHop: return "not part of the route";
  }
  return "";
}

}  // namespace

QString UiText(TextId id) { return QString::fromUtf8(English(id)); }

QString UiText(TextId id, int value) { return QString::asprintf(English(id), value); }

}  // namespace hs::ui
