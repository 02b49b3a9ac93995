#include "ui/texts.h"

namespace hs::ui {
namespace {

const char* English(TextId id) {
  switch (id) {
    case TextId::InvalidCountry: return "Invalid Country Selection.";
    case TextId::UnknownResponse: return "Unknown response from server.";
    case TextId::StateNotFound: return "The state you entered is not found in our database.";
    case TextId::PostcodeNotFound: return "The postcode you entered is not found in our database.";
    case TextId::CityNotFound: return "The city you entered is not found in our database.";
    case TextId::WizardIntro:
      return "This wizard will aid you in determining your geographic location, so that the program knows what "
             "maps to use and where to place you on them.\n\nFirst it asks a location server for the list of "
             "countries it knows.  Click Next to contact it.";
    case TextId::WizardStepOneTitle: return "Step One - Contact Location Server";
    case TextId::WizardStepTwoText:
      return "Setting your location accurately is not vital to the performance of the program and has no impact "
             "on the accuracy of trace results.  However, having your location set accurately does make for a "
             "more meaningful map display.\n\nPlease select your country and enter more detailed information as "
             "appropriate.  When done, click Next.";
    case TextId::WizardNoCityDetail:
      return "Detailed city information is not yet available for this country.  The default location for the "
             "country will be used, typically the capital or the geographic center.  Press 'Advanced' for more "
             "options.";
    case TextId::WizardCityHint:
      return "Enter the name of the city nearest to you.  Do not use any accent marks on the letters.  Use the "
             "'international' version of the city name.";
    case TextId::WizardStepTwoTitle: return "Step Two - Enter Location Information";
    case TextId::WizardFinishText: return "To save your home location settings, click Finish.";
    case TextId::WizardFinishTitle: return "Finished.";
    case TextId::WizardEndQuestion:
      return "Your home location has not been set.  The location of your computer will be inaccurate until it is "
             "set.\n\nAre you sure you want to end the Home Location Wizard?";
    case TextId::WizardEndTitle: return "End Home Location Wizard";
    case TextId::WizardAdvancedQuestion:
      return "Switching to the advanced view will allow you to set the latitude and longitude of your "
             "location.\n\nDo you want to switch to the advanced view?";
    case TextId::WizardAdvancedTitle: return "Advanced View Confirmation";
    case TextId::WizardUseDefault:
      return "%s\n\nPress 'OK' to use the default location, or 'Cancel' to edit your request and try again.";
    case TextId::WizardInvalidLocation: return "Invalid Location";
    case TextId::WizardEditEntry: return "%s\n\nPlease edit your entry and try again.\n";
    case TextId::LocationError: return "Location Error";
    case TextId::SelectNorthOrSouth: return "Select North or South";
    case TextId::BadLocationEntered: return "Bad Location Entered";
    case TextId::SelectEastOrWest: return "Select East or West";
    case TextId::WizardFinish: return "Finish";
    case TextId::WizardTitleCharSet: return "0";
    case TextId::WizardTitleFace: return "Arial";
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
    case TextId::WizardWindowTitle: return "Home Location Wizard";
    case TextId::WizardNext: return "Next >";
    case TextId::WizardAdvanced: return "Advanced...";
    case TextId::WizardCountry: return "Country:";
    case TextId::WizardZip: return "ZIP/Post Code:";
    case TextId::WizardCity: return "City:";
    case TextId::WizardState: return "State/Province:";
    case TextId::WizardDownloading: return "Contacting the location server, please wait...";
    case TextId::AdvancedWindowTitle: return "Home Location - Advanced";
    case TextId::AdvancedText:
      return "Type the latitude and longitude of your location in degrees, and choose the hemispheres.";
    case TextId::AdvancedLatitude: return "Latitude:";
    case TextId::AdvancedLongitude: return "Longitude:";
    case TextId::AdvancedNorth: return "North";
    case TextId::AdvancedSouth: return "South";
    case TextId::AdvancedEast: return "East";
    case TextId::AdvancedWest: return "West";
    case TextId::AskTitle: return "HopSight";
    case TextId::AskText: return "Trace the route to (host name, IP address or web address):";
    case TextId::AskTrace: return "Trace";
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

QString UiText(TextId id, const QString& value) { return UiText(id).replace(QStringLiteral("%s"), value); }

}  // namespace hs::ui
