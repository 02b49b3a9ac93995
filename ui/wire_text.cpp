#include "ui/wire_text.h"

#include <QStringDecoder>

namespace hs::ui {

QString FromWire(std::string_view bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

std::string PanelText(std::string_view whois) {
  const size_t from = whois.find("Registrant");
  if (from != std::string_view::npos) whois.remove_prefix(from);
  std::string out = "\r\n";
  out.reserve(whois.size() + whois.size() / 16 + 2);
  for (char ch : whois) {
    if (ch == '\n') out += '\r';
    out += ch;
  }
  return out;
}

QString PanelDisplayText(std::string_view whois) {
  QString text = FromWire(PanelText(whois));
  // An answer with its own carriage returns gets two before each line feed.
  text.replace(QStringLiteral("\r\r\n"), QStringLiteral("\n"));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}

}  // namespace hs::ui
