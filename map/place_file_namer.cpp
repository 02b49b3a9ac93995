#include "map/place_file_namer.h"

#include <QString>

#include "geo/place_file.h"

namespace hs::map {

std::string LabelFromUtf8(const std::string& utf8) {
  std::string out;
  const QString s = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
  for (QChar ch : s) {
    char16_t u = ch.unicode();
    if (u > 0xff) {
      // Letters whose decomposition has no Latin-1 base.
      switch (u) {
        case u'Ł': out += 'L'; continue;
        case u'ł': out += 'l'; continue;
        case u'Đ': out += 'D'; continue;
        case u'đ': out += 'd'; continue;
        case u'ı': out += 'i'; continue;
        default: break;
      }
      const QString base = QString(ch).normalized(QString::NormalizationForm_D);
      u = (!base.isEmpty() && base[0].unicode() <= 0xff) ? base[0].unicode() : u'?';
    }
    out += char(u);
  }
  return out;
}

std::optional<MapLabel> PlaceFileNamer::NearestPlace(int32_t x, int32_t y, int32_t radius) const {
  const std::optional<geo::Place> p = places_.FindNearestPlace(x, y, radius);
  if (!p) return std::nullopt;
  return MapLabel{{p->x, p->y}, LabelFromUtf8(std::string(p->name)).substr(0, 254)};
}

}  // namespace hs::map
