// Texts that come from the network (host names, WhoIs answers) as the window
// shows them.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace hs::ui {

// UTF-8 when the bytes are valid UTF-8, else Latin-1: WhoIs servers answer in either.
QString FromWire(std::string_view bytes);

// The text panel's text of a WhoIs answer: from the first "Registrant" on
// (the whole text without one), every line feed turned into a carriage
// return and line feed, with one more carriage return and line feed in front.
std::string PanelText(std::string_view whois);

// The panel text as the text control takes it: line ends as line feeds, so
// a carriage return never shows as a character of its own.
QString PanelDisplayText(std::string_view whois);

}  // namespace hs::ui
