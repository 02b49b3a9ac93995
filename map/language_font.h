// Fonts named by the program's texts: a family and the character set of
// the language's script, as the texts give them for each language.
#pragma once

#include <QFont>
#include <QString>

namespace hs::map {

// Character set numbers as the texts give them.
inline constexpr int kWesternCharSet = 0;
inline constexpr int kJapaneseCharSet = 128;

// A sans-serif font of `face`. When that family is not installed, or lacks
// the letters of `charSet`'s script, an installed family that has them
// stands in (for Japanese: Noto Sans CJK JP, then the IPA fonts, then any
// other), so the texts never show as empty boxes.
QFont LanguageFont(const QString& face, int charSet);

// The map font, which the event line draws with: 11 pixels, normal weight,
// face and character set from the program's language.
QFont MapFont();

}  // namespace hs::map
