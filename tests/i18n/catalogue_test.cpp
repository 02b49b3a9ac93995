// The catalogue reader against hand-made bytes and against msgfmt's own
// output, directive comparison, the choice of language from the
// environment, and the five built catalogues against the list of every
// text in the code.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "i18n/language.h"
#include "platform/files.h"

namespace hs::i18n {
namespace {

// A .mo file as the format defines it: header, two tables of (length,
// offset), then the strings with their NULs; no hash table.
std::string MoBytes(const std::vector<std::pair<std::string, std::string>>& entries, bool bigEndian = false) {
  std::string out;
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out += char(bigEndian ? (v >> (24 - 8 * i)) & 0xFF : (v >> (8 * i)) & 0xFF);
  };
  const uint32_t n = uint32_t(entries.size());
  const uint32_t originals = 28, translations = originals + 8 * n;
  uint32_t at = translations + 8 * n;
  std::string strings;
  std::vector<std::pair<uint32_t, uint32_t>> keys, values;
  for (const auto& [k, v] : entries) {
    keys.emplace_back(uint32_t(k.size()), at + uint32_t(strings.size()));
    strings += k + '\0';
  }
  for (const auto& [k, v] : entries) {
    values.emplace_back(uint32_t(v.size()), at + uint32_t(strings.size()));
    strings += v + '\0';
  }
  u32(0x950412de);
  u32(0);
  u32(n);
  u32(originals);
  u32(translations);
  u32(0);
  u32(0);
  for (auto [l, o] : keys) u32(l), u32(o);
  for (auto [l, o] : values) u32(l), u32(o);
  return out + strings;
}

const std::vector<std::pair<std::string, std::string>> kSample = {
    {"", "Language: de\nContent-Type: text/plain; charset=UTF-8\n"},
    {std::string("25436\x04") + "Trace started", "Routenverfolgung gestartet"},
    {std::string("294\x04") + "Pinging node #%d", "Ping an Knoten #%d"},
    {"Plain", "Schlicht"},
};

TEST(CatalogueReader, FindsTranslationsByContextInBothByteOrders) {
  for (bool big : {false, true}) {
    std::string why;
    auto c = Catalogue::Parse(MoBytes(kSample, big), &why);
    ASSERT_TRUE(c) << why;
    EXPECT_STREQ(c->Find("25436", "Trace started"), "Routenverfolgung gestartet");
    EXPECT_STREQ(c->Find("294", "Pinging node #%d"), "Ping an Knoten #%d");
    EXPECT_STREQ(c->Find("", "Plain"), "Schlicht");
    EXPECT_EQ(c->Find("", "Trace started"), nullptr);  // the context is part of the key
    EXPECT_EQ(c->Find("25437", "Trace started"), nullptr);
    EXPECT_EQ(c->HeaderField("Language"), "de");
    EXPECT_EQ(c->Entries().size(), 3u);
  }
}

TEST(CatalogueReader, RefusesDamagedFilesWithAReason) {
  const std::string good = MoBytes(kSample);
  std::string why;
  EXPECT_FALSE(Catalogue::Parse("", &why));
  EXPECT_FALSE(Catalogue::Parse("\x12\x34\x56\x78 and more bytes than a header needs", &why));
  EXPECT_NE(why.find("magic"), std::string::npos);
  EXPECT_FALSE(Catalogue::Parse(good.substr(0, 20), &why));  // header cut short
  for (size_t cut : {size_t(40), good.size() - 1}) {         // tables or last string cut off
    EXPECT_FALSE(Catalogue::Parse(good.substr(0, cut), &why)) << cut;
  }
  std::string noNul = good;
  noNul.back() = 'x';  // the last string runs to the end without its NUL
  EXPECT_FALSE(Catalogue::Parse(noNul, &why));
  std::string huge = good;
  huge[8] = '\xff', huge[9] = '\xff', huge[10] = '\xff', huge[11] = '\x0f';  // entry count far past the file
  EXPECT_FALSE(Catalogue::Parse(huge, &why));
  std::string wild = good;
  wild[28 + 4] = '\xff', wild[28 + 5] = '\xff';  // first key's offset outside the file
  EXPECT_FALSE(Catalogue::Parse(wild, &why));
}

TEST(CatalogueReader, DropsTranslationsThatChangeOrLoseADirective) {
  auto c = Catalogue::Parse(MoBytes({{"a\x04Waiting for %d queries", "Warte auf %s Abfragen"},
                                     {"b\x04Looking up %s", "Suche"},
                                     {"c\x04Ping #%d", "Ping #%d"},
                                     {"d\x04Empty", ""},
                                     {"e\x04%1 km after %2 ms", "%2 ms: %1 km"},
                                     {"f\x04%1 km after %2 ms", "%1 km nach %1 ms"}}));
  ASSERT_TRUE(c);
  EXPECT_STREQ(c->Find("e", "%1 km after %2 ms"), "%2 ms: %1 km");  // markers may move
  EXPECT_EQ(c->Find("f", "%1 km after %2 ms"), nullptr);
  EXPECT_EQ(c->Find("a", "Waiting for %d queries"), nullptr);
  EXPECT_EQ(c->Find("b", "Looking up %s"), nullptr);
  EXPECT_STREQ(c->Find("c", "Ping #%d"), "Ping #%d");
  EXPECT_EQ(c->Find("d", "Empty"), nullptr);  // untranslated: the English text stands
  EXPECT_EQ(c->Rejected(),
            (std::vector<std::string>{"a\x04Waiting for %d queries", "b\x04Looking up %s", "f\x04%1 km after %2 ms"}));
}

TEST(FormatDirectives, ListsConversionsAndSkipsPlainPerCentSigns) {
  using V = std::vector<std::string>;
  EXPECT_EQ(FormatDirectives("Pinging node #%d"), V{"%d"});
  EXPECT_EQ(FormatDirectives("/flexcheck/?%08lx%08lx%08lx"), (V{"%08lx", "%08lx", "%08lx"}));
  EXPECT_EQ(FormatDirectives("%zu cities, head within %llds, 0x%x"), (V{"%zu", "%lld", "%x"}));
  EXPECT_EQ(FormatDirectives("100%% sure %-5.2f"), V{"%-5.2f"});
  EXPECT_EQ(FormatDirectives("% Loss"), V{});
  EXPECT_EQ(FormatDirectives("損失率 (%)"), V{});
  EXPECT_EQ(FormatDirectives("ends in %"), V{});
  // Numbered markers are not conversions, and a width is not a marker.
  EXPECT_EQ(FormatDirectives("%1 km after %2 ms"), V{});
  EXPECT_EQ(PlaceMarkers("%2 km, but %1 ms (%3 km; 100%%, %5d)"), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(PlaceMarkers("% Loss, %10 and %"), (std::vector<int>{10}));
}

// --- The language from the environment ---------------------------------------

std::string Pick(std::map<std::string, std::string> env) {
  return LanguageFromEnvironment([&env](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second.c_str();
  });
}

TEST(LanguageFromEnvironment, FollowsGettextsOrderAndFallsBackToEnglish) {
  EXPECT_EQ(Pick({}), "en");
  EXPECT_EQ(Pick({{"LANG", "de_DE.UTF-8"}}), "de");
  EXPECT_EQ(Pick({{"LANG", "fr_CA@euro"}}), "fr");
  EXPECT_EQ(Pick({{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "it_IT.UTF-8"}}), "it");
  EXPECT_EQ(Pick({{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "it_IT.UTF-8"}, {"LC_ALL", "es_ES.UTF-8"}}), "es");
  EXPECT_EQ(Pick({{"LANGUAGE", "ja"}}), "ja");  // no locale at all: the list still counts
  // The first language of the list that the program has wins.
  EXPECT_EQ(Pick({{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "pt_BR:sv:fr:de"}}), "fr");
  EXPECT_EQ(Pick({{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "pt_BR:sv"}}), "de");
  EXPECT_EQ(Pick({{"LANG", "pt_BR.UTF-8"}}), "en");
  EXPECT_EQ(Pick({{"LANG", "en_GB.UTF-8"}, {"LANGUAGE", "en:de"}}), "en");
  // An empty variable is no setting; the C locale asks for no translation.
  EXPECT_EQ(Pick({{"LC_ALL", ""}, {"LANG", "it_IT.UTF-8"}}), "it");
  EXPECT_EQ(Pick({{"LC_ALL", "C"}, {"LANG", "it_IT.UTF-8"}, {"LANGUAGE", "de"}}), "en");
  EXPECT_EQ(Pick({{"LANG", "C.UTF-8"}, {"LANGUAGE", "de"}}), "en");
  EXPECT_EQ(Pick({{"LANG", "POSIX"}}), "en");
}

// --- The catalogues the build made -------------------------------------------

std::string BuildDir() {
  const char* dir = std::getenv("HOPSIGHT_BUILD_DIR");
  return dir ? dir : ".";
}

Catalogue Load(const std::string& path) {
  auto bytes = platform::ReadWholeFile(path);
  if (!bytes) ADD_FAILURE() << "missing " << path;
  std::string why;
  auto c = Catalogue::Parse(bytes.value_or(""), &why);
  if (!c) {
    ADD_FAILURE() << path << ": " << why;
    return *Catalogue::Parse(MoBytes({}));
  }
  return std::move(*c);
}

TEST(BuiltCatalogues, TranslateEveryTextOfTheCodeWithItsDirectives) {
  // msgen made the list of every text the code marks, English to English.
  const Catalogue all = Load(BuildDir() + "/po/hopsight-template.mo");
  ASSERT_GT(all.Entries().size(), 100u);
  for (std::string_view language : kLanguages) {
    if (language == "en") continue;
    const Catalogue c = Load(CataloguePath(BuildDir() + "/bin", language));
    EXPECT_EQ(c.HeaderField("Language"), language);
    EXPECT_EQ(c.HeaderField("Content-Type"), "text/plain; charset=UTF-8");
    EXPECT_TRUE(c.Rejected().empty()) << language << ": " << c.Rejected().front();
    for (const Catalogue::Entry& e : all.Entries()) {
      const char* t = c.Find(e.context, e.english);
      if (!t) {
        ADD_FAILURE() << language << " has no text for [" << e.context << "] " << e.english;
        continue;
      }
      EXPECT_EQ(FormatDirectives(t), FormatDirectives(e.english)) << language << ": " << e.english;
      EXPECT_EQ(PlaceMarkers(t), PlaceMarkers(e.english)) << language << ": " << e.english;
    }
  }
}

TEST(BuiltCatalogues, TrFollowsTheLanguageInUseAndEnglishNeedsNoCatalogue) {
  const Text started = NC_("25436", "Trace started");
  const Text node = NC_("294", "Pinging node #%d");
  ASSERT_TRUE(UseLanguage(BuildDir() + "/bin", "de"));
  EXPECT_EQ(CurrentLanguage(), "de");
  EXPECT_STREQ(Tr(started), "Routenverfolgung gestartet");
  EXPECT_EQ(Tr(node, 7), "Ping an Knoten #7");
  EXPECT_STREQ(English(started), "Trace started");
  // A text the catalogue does not have stays English.
  EXPECT_STREQ(Tr(NC_("nowhere", "Not in any catalogue")), "Not in any catalogue");
  std::string why;
  EXPECT_FALSE(UseLanguage(BuildDir() + "/no-such-dir", "fr", &why));
  EXPECT_NE(why.find("hopsight.mo"), std::string::npos) << why;
  EXPECT_EQ(CurrentLanguage(), "en");
  EXPECT_STREQ(Tr(started), "Trace started");
  ASSERT_TRUE(UseLanguage("/nonexistent", "en"));
  EXPECT_STREQ(Tr(started), "Trace started");
}

}  // namespace
}  // namespace hs::i18n
