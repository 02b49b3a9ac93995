#include "ui/texts.h"

#include "i18n/language.h"

namespace hs::ui {
namespace {

i18n::Text Source(TextId id) {
  switch (id) {
    case TextId::ErrorTitle: return NC_("81", "Error");
    case TextId::NoMapsCaption: return NC_("94", "Map Loading Error");
    case TextId::NoMapsText: return NC_("99", "No Map files found!");
    case TextId::ErrorNotResolved:
      return NC_("104",
                 "The domain name entered could not be resolved.  Ensure you spelled it correctly, and that you are "
                 "connected to the Internet.");
    case TextId::ErrorInvalidAddress:
      return NC_("105",
                 "An invalid IP address format was entered.  IP addresses are composed of 4 numbers 1-255 separated "
                 "by periods (e.g. 192.168.1.2)");
    // TRANSLATORS: the four tab captions of the bottom bar. Each shares a
    // pill with its icon and leaves the caption about 80 pixels: keep them
    // to one short word of about 10 letters (6 Japanese characters).
    case TextId::MapTab: return NC_("15016", "Map View");
    case TextId::ListTab: return NC_("15018", "List View");
    case TextId::RegistrantTab: return NC_("15020", "Registrant");
    case TextId::NetworkTab: return NC_("15022", "Network");
    case TextId::UpdateInformationTitle: return NC_("25401", "HopSight Express Information");
    case TextId::NewVersionText:
      return NC_("25419",
                 "A new version of HopSight Express is available.\nPress \"OK\" to GoOnline for the latest version\n"
                 " or \"Cancel\" to continue the program.");
    case TextId::NewVersionTitle: return NC_("25420", "New Version Available!");
    case TextId::WorldMapMissingText:
      return NC_("25427",
                 "World Map not found.  A world map file is required for the program to operate properly.");
    case TextId::WorldMapMissingCaption: return NC_("25428", "Map Loading Error");
    case TextId::TraceInterrupted: return NC_("25435", "Trace interrupted");
    case TextId::StopTrace: return NC_("25438", "Stop trace");
    case TextId::StartTrace: return NC_("25439", "Start trace");
    // TRANSLATORS: captions of the program's own message box buttons; "&"
    // marks the letter that presses the button with Alt.
    case TextId::Yes: return NC_("25440", "&Yes");
    case TextId::No: return NC_("25441", "&No");
    case TextId::Ok: return NC_("25442", "OK");
    case TextId::Cancel: return NC_("25443", "Cancel");
    // TRANSLATORS: the message box's font: the character set number of
    // the language's script (0 Western, 128 Japanese) and the font family.
    // Name a family that the language's desktops have; when it is missing
    // the program picks another that has the script's letters.
    case TextId::BoxCharSet: return NC_("25444", "0");
    case TextId::BoxFontFace: return NC_("25445", "MS Sans Serif");
    // TRANSLATORS: the results list's column titles; ms are milliseconds.
    case TextId::ColumnNumber: return NC_("25446", "#");
    case TextId::ColumnAddress: return NC_("25447", "IP Address");
    case TextId::ColumnName: return NC_("25448", "Name");
    case TextId::ColumnRoundTrip: return NC_("25449", "RT (ms)");
    case TextId::ColumnAverage: return NC_("25450", "Ave (ms)");
    case TextId::ColumnMinimum: return NC_("25451", "Min (ms)");
    case TextId::ColumnMaximum: return NC_("25452", "Max (ms)");
    case TextId::ColumnSent: return NC_("25453", "# Sent Packets");
    case TextId::ColumnDropped: return NC_("25454", "# Dropped Packets");
    // xgettext:no-c-format
    case TextId::ColumnLoss: return NC_("25455", "% Loss");
    case TextId::ColumnNetwork: return NC_("25456", "Network");
    case TextId::ColumnGraph: return NC_("25457", "Graph");
    // TRANSLATORS: the window title before the first trace; the product name.
    case TextId::ProgramName: return NC_("900001", "HopSight");
    // TRANSLATORS: the event line when another start of the program hands over a trace.
    case TextId::TraceEngine: return NC_("900002", "Trace engine");
    case TextId::Help: return NC_("900003", "Help");
    case TextId::DatabaseOpenFailed: return NC_("900010", "\"Unable to open file HopSight.gdp.\"");
    // TRANSLATORS: %x is the loader's code as a hexadecimal number.
    case TextId::DatabaseInvalid: return NC_("900011", "Invalid file HopSight.gdp (0x%x)");
    case TextId::DatabaseInvalidTitle: return NC_("900012", "Error (LocDBInit)");
    case TextId::DatabaseNeedsUpdate:
      return NC_("900013",
                 "The file Hopsight.gdp needs to be updated.\n\nPlease install the latest version of HopSight from "
                 "its web site to get a current location database.");
    case TextId::DatabaseNeedsUpdateTitle: return NC_("900014", "Hopsight Error");
    case TextId::ServersUnreachable:
      return NC_("900020",
                 "The location server could not be contacted.  Please ensure you are connected to the Internet.  If "
                 "your Internet connection appears to be working correctly, there may be some problem in reaching "
                 "the server.  Please try again later.");
    case TextId::ServersUnreachableTitle: return NC_("900021", "Error Contacting Server");
    case TextId::IcmpUnavailableTitle: return NC_("900030", "Tracing Not Permitted");
    // TRANSLATORS: the results list's column of the hop's autonomous system.
    case TextId::ColumnAs: return NC_("900040", "AS");
    // TRANSLATORS: tips on the results list's marks. %1 and the other
    // numbered markers are filled in (distances in km, times in ms); each
    // must stay, in any order.
    case TextId::PlausibleTip:
      return NC_("900041",
                 // xgettext:qt-format
                 "Plausible position: %1 km from your home location; a reply after %2 ms can come from up to %3 km "
                 "away.");
    case TextId::ImplausibleTip:
      return NC_("900042",
                 // xgettext:qt-format
                 "Implausible position: %1 km from your home location, but a reply after %2 ms can come from at most "
                 "%3 km away (%4 km of that for the precision of the two positions). The hop is nearer than the map "
                 "shows.");
    case TextId::NotJudgedNoTime: return NC_("900043", "Position not judged: the hop has no round-trip time.");
    case TextId::NotJudgedNoHome: return NC_("900044", "Position not judged: no home location is set.");
    case TextId::HomeReference:
      return NC_("900045",
                 "Your home location: the positions of the other hops are judged against it.");
    // TRANSLATORS: %1 is when the trace was recorded, %2 the hop's address
    // then, or one of the two texts below.
    // xgettext:qt-format
    case TextId::ChangedHopTip: return NC_("900046", "Changed since the trace recorded %1: this hop was %2.");
    case TextId::RouteNoReply: return NC_("900047", "no reply");
    case TextId::RouteNoHop: return NC_("900048", "not part of the route");
    // TRANSLATORS: the home location wizard's messages about the location
    // server's answer to the place the user entered.
    case TextId::InvalidCountry: return NC_("16", "Invalid Country Selection.");
    case TextId::UnknownResponse: return NC_("17", "Unknown response from server.");
    case TextId::StateNotFound: return NC_("18", "The state you entered is not found in our database.");
    case TextId::PostcodeNotFound: return NC_("19", "The postcode you entered is not found in our database.");
    case TextId::CityNotFound: return NC_("20", "The city you entered is not found in our database.");
    case TextId::WizardIntro:
      return NC_("21",
                 "This wizard will aid you in determining your geographic location, so that the program knows what "
                 "maps to use and where to place you on them.\n\nFirst it asks a location server for the list of "
                 "countries it knows.  Click Next to contact it.");
    case TextId::WizardStepOneTitle: return NC_("22", "Step One - Contact Location Server");
    case TextId::WizardStepTwoText:
      return NC_("56",
                 "Setting your location accurately is not vital to the performance of the program and has no impact "
                 "on the accuracy of trace results.  However, having your location set accurately does make for a "
                 "more meaningful map display.\n\nPlease select your country and enter more detailed information as "
                 "appropriate.  When done, click Next.");
    case TextId::WizardNoCityDetail:
      return NC_("59",
                 "Detailed city information is not yet available for this country.  The default location for the "
                 "country will be used, typically the capital or the geographic center.  Press 'Advanced' for more "
                 "options.");
    case TextId::WizardCityHint:
      return NC_("60",
                 "Enter the name of the city nearest to you.  Do not use any accent marks on the letters.  Use the "
                 "'international' version of the city name.");
    case TextId::WizardStepTwoTitle: return NC_("61", "Step Two - Enter Location Information");
    case TextId::WizardFinishText: return NC_("62", "To save your home location settings, click Finish.");
    case TextId::WizardFinishTitle: return NC_("63", "Finished.");
    case TextId::WizardEndQuestion:
      return NC_("64",
                 "Your home location has not been set.  The location of your computer will be inaccurate until it is "
                 "set.\n\nAre you sure you want to end the Home Location Wizard?");
    case TextId::WizardEndTitle: return NC_("65", "End Home Location Wizard");
    case TextId::WizardAdvancedQuestion:
      return NC_("66",
                 "Switching to the advanced view will allow you to set the latitude and longitude of your "
                 "location.\n\nDo you want to switch to the advanced view?");
    case TextId::WizardAdvancedTitle: return NC_("67", "Advanced View Confirmation");
    // TRANSLATORS: %s is one of the messages above (the state, postcode or
    // city was not found).
    case TextId::WizardUseDefault:
      return NC_("68",
                 "%s\n\nPress 'OK' to use the default location, or 'Cancel' to edit your request and try again.");
    case TextId::WizardInvalidLocation: return NC_("69", "Invalid Location");
    case TextId::WizardEditEntry: return NC_("70", "%s\n\nPlease edit your entry and try again.\n");
    case TextId::LocationError: return NC_("71", "Location Error");
    case TextId::SelectNorthOrSouth: return NC_("72", "Select North or South");
    case TextId::BadLocationEntered: return NC_("73", "Bad Location Entered");
    case TextId::SelectEastOrWest: return NC_("75", "Select East or West");
    // TRANSLATORS: the caption of the wizard's last button, in place of
    // "Next >"; about 10 letters fit.
    case TextId::WizardFinish: return NC_("187", "Finish");
    // TRANSLATORS: the font of the wizard's step titles: the character set
    // number of the language's script (0 Western, 128 Japanese) and the font
    // family, as for the message box's font.
    case TextId::WizardTitleCharSet: return NC_("391", "0");
    case TextId::WizardTitleFace: return NC_("392", "Arial");
    // TRANSLATORS: the wizard's window title, its buttons and the labels of
    // its fields. The buttons fit about 10 letters; a label about 16.
    case TextId::WizardWindowTitle: return NC_("900140", "Home Location Wizard");
    case TextId::WizardNext: return NC_("900141", "Next >");
    case TextId::WizardAdvanced: return NC_("900142", "Advanced...");
    case TextId::WizardCountry: return NC_("900143", "Country:");
    case TextId::WizardZip: return NC_("900144", "ZIP/Post Code:");
    case TextId::WizardCity: return NC_("900145", "City:");
    case TextId::WizardState: return NC_("900146", "State/Province:");
    case TextId::WizardDownloading: return NC_("900147", "Contacting the location server, please wait...");
    // TRANSLATORS: the advanced view of the wizard: latitude and longitude
    // in degrees, and the hemispheres as four choices.
    case TextId::AdvancedWindowTitle: return NC_("900150", "Home Location - Advanced");
    case TextId::AdvancedText:
      return NC_("900151",
                 "Type the latitude and longitude of your location in degrees, and choose the hemispheres.");
    case TextId::AdvancedLatitude: return NC_("900152", "Latitude:");
    case TextId::AdvancedLongitude: return NC_("900153", "Longitude:");
    case TextId::AdvancedNorth: return NC_("900154", "North");
    case TextId::AdvancedSouth: return NC_("900155", "South");
    case TextId::AdvancedEast: return NC_("900156", "East");
    case TextId::AdvancedWest: return NC_("900157", "West");
    // TRANSLATORS: the small window that asks for a target when the program
    // is started from the desktop's menu; "Trace" is its button.
    case TextId::AskTitle: return NC_("900160", "HopSight");
    case TextId::AskText: return NC_("900161", "Trace the route to (host name, IP address or web address):");
    case TextId::AskTrace: return NC_("900162", "Trace");
  }
  return {"", ""};
}

}  // namespace

QString UiText(TextId id) { return QString::fromUtf8(i18n::Tr(Source(id))); }

QString UiText(TextId id, int value) { return QString::fromStdString(i18n::Tr(Source(id), value)); }

QString UiText(TextId id, const QString& value) {
  return QString::fromStdString(i18n::Tr(Source(id), value.toStdString()));
}

}  // namespace hs::ui
