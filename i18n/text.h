// A user-visible text of the program: its English source and the context
// that keys it in the translation catalogues (the text's number in the
// program's string table, or the name of the program that says it).
//
// Texts are written as NC_("25436", "Trace started"): xgettext extracts
// every NC_ into the catalogue template (scripts/update-po.sh), so a text
// that is not marked this way is never translated.
#pragma once

namespace hs::i18n {

struct Text {
  const char* context;
  const char* english;
};

}  // namespace hs::i18n

#define NC_(context, english) (::hs::i18n::Text{context, english})
