// The window in German and Japanese (and the other languages): every tab and
// button caption fits its space uncut, the message box sizes itself to the
// longer texts, and Japanese texts get a font that has their letters.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLayout>
#include <QRadioButton>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyleOptionButton>
#include <cstdlib>

#include "i18n/language.h"
#include "map/language_font.h"
#include "geo/location_servers.h"
#include "ui/home_wizard.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "ui/texts.h"

namespace hs::ui {
namespace {

class InLanguage : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("HOPSIGHT_BUILD_DIR");
    std::string why;
    ASSERT_TRUE(i18n::UseLanguage(std::string(dir ? dir : ".") + "/bin", GetParam(), &why)) << why;
  }
  void TearDown() override { i18n::UseEnglish(); }
};

QString Plain(QString caption) { return caption.remove(QRegularExpression(QStringLiteral("&(?!&)"))); }

// The caption of `button` is drawn whole inside the button's contents.
void ExpectCaptionFits(QPushButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.rect = button->rect();
  option.text = button->text();
  const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
  const int needed = QFontMetrics(button->font()).horizontalAdvance(Plain(button->text()));
  EXPECT_LE(needed, contents.width()) << button->text().toStdString() << " in a button " << button->width();
}

TEST_P(InLanguage, EveryTabCaptionFitsBesideItsIcon) {
  for (TextId id : {TextId::MapTab, TextId::ListTab, TextId::RegistrantTab, TextId::NetworkTab}) {
    const QString caption = UiText(id);
    for (bool selected : {false, true}) {
      const QFontMetricsF fm(Skin::TabCaptionFont(selected));
      EXPECT_LE(fm.horizontalAdvance(caption), Skin::TabCaptionRoom())
          << caption.toStdString() << (selected ? " (selected)" : "");
      EXPECT_EQ(fm.elidedText(caption, Qt::ElideRight, Skin::TabCaptionRoom()).toStdString(), caption.toStdString());
    }
  }
}

TEST_P(InLanguage, TheOwnBoxsButtonsShowTheirWholeCaptions) {
  for (int type : {kBoxTypeOk, kBoxTypeOkCancel, kBoxTypeYesNo}) {
    OwnMessageBox box(nullptr, "Text", "Caption", type);
    ExpectCaptionFits(box.FirstButton());
    if (type != kBoxTypeOk) {
      ExpectCaptionFits(box.SecondButton());
      EXPECT_EQ(box.SecondButton()->width(), box.FirstButton()->width());
    }
  }
}

TEST_P(InLanguage, TheOwnBoxGrowsToHoldTheWholeLongerText) {
  const QString text = UiText(TextId::ServersUnreachable);
  OwnMessageBox box(nullptr, text + "\n\n" + text, UiText(TextId::ServersUnreachableTitle), kBoxTypeOkCancel);
  const QRect desktop = QGuiApplication::primaryScreen()->geometry();
  const int limit = desktop.width() * 60 / 100 - 28;
  // Wrapped within 60 % of the desktop, Japanese (which has no blanks) too,
  // and the box, centred on the desktop, holds every line of it.
  EXPECT_LE(box.TextRect().width(), limit);
  EXPECT_GT(box.TextRect().width(), limit * 2 / 3);
  EXPECT_EQ(box.width(), box.TextRect().width() + 28);
  EXPECT_EQ(box.x(), (desktop.left() + desktop.right() + 1 - box.width()) / 2);
  const QRect needed = QFontMetrics(box.font()).boundingRect(QRect(0, 0, box.TextRect().width(), 1 << 20),
                                                            Qt::TextWordWrap | Qt::AlignLeft, text + "\n\n" + text);
  EXPECT_LE(needed.height(), box.TextRect().height());
  EXPECT_LE(needed.width(), box.TextRect().width());
  EXPECT_GE(box.height(), box.TextRect().bottom() + box.FirstButton()->height());
  EXPECT_LT(box.TextRect().bottom(), box.FirstButton()->y());
  OwnMessageBox shortBox(nullptr, UiText(TextId::Ok), "", kBoxTypeOk);
  EXPECT_GT(box.height(), shortBox.height() + 2 * QFontMetrics(box.font()).height());
}

// The wizard keeps its fixed size in every language: each of its page texts
// fits the page with the fields and buttons below it, and no caption or
// label is cut.
TEST_P(InLanguage, TheWizardsTextsAndCaptionsFitItsFixedPage) {
  geo::LocationServerTable servers;
  WizardServices services;
  services.servers = &servers;
  services.home = [] { return GeoLocation{LocationSource::Home, 51.5074, -0.1278, 200}; };
  HomeLocationWizardDialog wizard(nullptr, services);
  wizard.show();
  QApplication::processEvents();
  QLabel* page = nullptr;
  for (QLabel* label : wizard.findChildren<QLabel*>())
    if (label->wordWrap() && label->text() == UiText(TextId::WizardIntro)) page = label;
  ASSERT_NE(page, nullptr);
  for (TextId id : {TextId::WizardIntro, TextId::WizardStepTwoText, TextId::WizardFinishText}) {
    page->setText(UiText(id));
    wizard.layout()->activate();
    EXPECT_LE(wizard.layout()->totalMinimumSize().height(), wizard.height()) << UiText(id).toStdString();
    EXPECT_LE(page->heightForWidth(page->width()), page->height()) << UiText(id).toStdString();
  }
  for (QPushButton* button : wizard.findChildren<QPushButton*>())
    if (button->isVisible()) ExpectCaptionFits(button);
  for (QLabel* label : wizard.findChildren<QLabel*>()) {
    if (label->isVisible() && !label->wordWrap() && !label->text().isEmpty()) {
      EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
    }
  }

  AdvancedHomeView advanced(nullptr, services);
  advanced.show();
  QApplication::processEvents();
  for (QPushButton* button : advanced.findChildren<QPushButton*>()) ExpectCaptionFits(button);
  for (QRadioButton* choice : advanced.findChildren<QRadioButton*>())
    EXPECT_GE(choice->width(), choice->sizeHint().width()) << choice->text().toStdString();
  for (QLabel* label : advanced.findChildren<QLabel*>()) {
    if (label->wordWrap()) {
      EXPECT_LE(label->heightForWidth(label->width()), label->height()) << label->text().toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, InLanguage, ::testing::Values("de", "ja", "fr", "it", "es"),
                         [](const auto& info) { return std::string(info.param); });

// --- Fonts for the script ------------------------------------------------------

bool HasJapanese(const QFont& font) {
  return QFontDatabase::families(QFontDatabase::Japanese).contains(QFontInfo(font).family(), Qt::CaseInsensitive);
}

TEST(LanguageFont, JapaneseTextsGetAFontWithTheirLettersEvenWhenTheFaceIsMissing) {
  if (QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
    GTEST_SKIP() << "no font with Japanese letters here (scripts/bootstrap.sh installs fonts-noto-cjk)";
  EXPECT_TRUE(HasJapanese(map::LanguageFont("Noto Sans CJK JP", map::kJapaneseCharSet)));
  EXPECT_TRUE(HasJapanese(map::LanguageFont("ＭＳ Ｐゴシック", map::kJapaneseCharSet)));
  EXPECT_TRUE(HasJapanese(map::LanguageFont("No Such Family", map::kJapaneseCharSet)));
  // A Western face is left to the desktop's substitution.
  EXPECT_EQ(map::LanguageFont("Arial", map::kWesternCharSet).family(), "Arial");

  const char* dir = std::getenv("HOPSIGHT_BUILD_DIR");
  ASSERT_TRUE(i18n::UseLanguage(std::string(dir ? dir : ".") + "/bin", "ja"));
  EXPECT_TRUE(HasJapanese(map::MapFont()));
  OwnMessageBox box(nullptr, UiText(TextId::NoMapsText), UiText(TextId::NoMapsCaption), kBoxTypeOk);
  EXPECT_TRUE(HasJapanese(box.font()));
  i18n::UseEnglish();
}

}  // namespace
}  // namespace hs::ui
