#include "map/language_font.h"

#include <QFontDatabase>
#include <QStringList>

#include "config/text_fields.h"
#include "i18n/language.h"

namespace hs::map {
namespace {

QFontDatabase::WritingSystem ScriptOf(int charSet) {
  switch (charSet) {
    case kJapaneseCharSet: return QFontDatabase::Japanese;
    case 129: return QFontDatabase::Korean;
    case 134: return QFontDatabase::SimplifiedChinese;
    case 136: return QFontDatabase::TraditionalChinese;
    default: return QFontDatabase::Latin;
  }
}

bool HasScript(const QString& family, QFontDatabase::WritingSystem script) {
  return QFontDatabase::families(script).contains(family, Qt::CaseInsensitive);
}

}  // namespace

QFont LanguageFont(const QString& face, int charSet) {
  QFont font(face);
  font.setStyleHint(QFont::SansSerif);
  const QFontDatabase::WritingSystem script = ScriptOf(charSet);
  // Western faces missing here (Arial, MS Sans Serif) are left to the
  // desktop's font substitution, which maps them to a metric twin or to the
  // default sans-serif font: all of those have the Latin letters.
  if (script == QFontDatabase::Latin || HasScript(face, script)) return font;
  const QStringList installed = QFontDatabase::families(script);
  for (const char* preferred : {"Noto Sans CJK JP", "Noto Sans JP", "IPAPGothic", "IPAGothic", "IPAexGothic",
                                "VL PGothic", "Droid Sans Fallback"}) {
    if (installed.contains(QString::fromLatin1(preferred), Qt::CaseInsensitive)) {
      font.setFamily(QString::fromLatin1(preferred));
      return font;
    }
  }
  if (!installed.isEmpty()) font.setFamily(installed.front());
  return font;
}

QFont MapFont() {
  // TRANSLATORS: the map font (also the status line's): the character set
  // number of the language's script (0 Western, 128 Japanese) and the family.
  const int charSet = config::LeadingInt(i18n::Tr(NC_("336", "0")));
  QFont font = LanguageFont(QString::fromUtf8(i18n::Tr(NC_("337", "Arial"))), charSet);
  font.setPixelSize(11);
  font.setWeight(QFont::Normal);
  return font;
}

}  // namespace hs::map
