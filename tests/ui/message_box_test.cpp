// The program's own message box (sizing, buttons, results, Escape and the
// close box; a long text's size is language_test's) and the window's boxes
// shown from other threads.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <atomic>
#include <thread>

#include <QTimer>

#include "scripted.h"

#include "ui/message_box.h"
#include "ui/texts.h"

namespace hs::ui {
namespace {

TEST(OwnMessageBox, AOneWordMessageGetsTheNarrowestButtonAndOneButtonRow) {
  OwnMessageBox box(nullptr, "Done", "Caption", kBoxTypeOk);
  EXPECT_EQ(box.FirstButton()->width(), 75);
  EXPECT_TRUE(box.SecondButton()->isHidden());
  EXPECT_EQ(box.width(), 75 + 6 + 16);  // no narrower than one button row
  EXPECT_EQ(box.FirstButton()->x(), (box.width() - 75) / 2);
  OwnMessageBox two(nullptr, "Done", "Caption", kBoxTypeYesNo);
  EXPECT_EQ(two.width(), 2 * (75 + 6) + 16);
  EXPECT_EQ(two.SecondButton()->x(), two.FirstButton()->x() + 75 + 6);
}

TEST(OwnMessageBox, EscapeDoesNothingInAnOkBoxAndTheCloseBoxGivesNo) {
  OwnMessageBox box(nullptr, "Hello", "Caption", kBoxTypeOk);
  box.open();
  QTest::keyClick(&box, Qt::Key_Escape);
  EXPECT_TRUE(box.isVisible());
  box.close();
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(box.result(), kBoxNo);
}

TEST(OwnMessageBox, ButtonsAndEscapeGiveTheResultsOfTheirType) {
  struct Case {
    int type;
    bool first;  // click the first button, else the second
    bool escape;
    int result;
  };
  for (const Case& c : {Case{kBoxTypeOk, true, false, kBoxOk}, Case{kBoxTypeOkCancel, true, false, kBoxOk},
                        Case{kBoxTypeOkCancel, false, false, kBoxCancel}, Case{kBoxTypeOkCancel, false, true, kBoxCancel},
                        Case{kBoxTypeYesNo, true, false, kBoxYes}, Case{kBoxTypeYesNo, false, false, kBoxNo},
                        Case{kBoxTypeYesNo, false, true, kBoxNo}, Case{0x30 | kBoxTypeYesNo, true, false, kBoxYes}}) {
    OwnMessageBox box(nullptr, "Question?", "Caption", c.type);
    box.open();
    if (c.escape) QTest::keyClick(&box, Qt::Key_Escape);
    else QTest::mouseClick(c.first ? box.FirstButton() : box.SecondButton(), Qt::LeftButton);
    EXPECT_EQ(box.result(), c.result) << "type " << c.type;
    EXPECT_FALSE(box.isVisible());
  }
  OwnMessageBox yesNo(nullptr, "Question?", "Caption", kBoxTypeYesNo);
  EXPECT_EQ(yesNo.FirstButton()->text(), UiText(TextId::Yes));
  EXPECT_EQ(yesNo.SecondButton()->text(), UiText(TextId::No));
}

TEST(TargetErrorBox, HelpOpensTheErrorTopicWithTheBoxNumberAndLeavesTheBoxOpen) {
  QtMessageBoxes boxes;
  std::string topic;
  int context = 0;
  boxes.SetHelp([&](const std::string& t, int c) {
    topic = t;
    context = c;
  });
  auto box = boxes.MakeTargetErrorBox(2);
  EXPECT_EQ(box->windowTitle(), "Error");
  EXPECT_EQ(box->text(), UiText(TextId::ErrorInvalidAddress));
  EXPECT_EQ(box->icon(), QMessageBox::Critical);
  box->open();
  QPushButton* help = nullptr;
  for (QAbstractButton* b : box->buttons())
    if (box->buttonRole(b) == QMessageBox::HelpRole) help = qobject_cast<QPushButton*>(b);
  ASSERT_NE(help, nullptr);
  QTest::mouseClick(help, Qt::LeftButton);
  EXPECT_EQ(topic, "HspxErrs");
  EXPECT_EQ(context, 2);
  EXPECT_TRUE(box->isVisible());
  QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
  EXPECT_FALSE(box->isVisible());
}

// Answers the next box of ours from inside its own event loop.
void AnswerNextOwnBox(QObject* context, std::function<void(OwnMessageBox*)> answer) {
  auto* timer = new QTimer(context);
  QObject::connect(timer, &QTimer::timeout, context, [timer, answer] {
    auto* box = dynamic_cast<OwnMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    answer(box);
  });
  timer->start(5);
}

TEST(QtMessageBoxes, AnotherThreadsBoxOpensOnTheWindowThreadAndReturnsItsResult) {
  QtMessageBoxes boxes;
  QObject context;
  QString title;
  AnswerNextOwnBox(&context, [&](OwnMessageBox* box) {
    title = box->windowTitle();
    QTest::mouseClick(box->SecondButton(), Qt::LeftButton);
  });
  std::atomic<int> result{-1};
  std::thread asker([&] { result = boxes.ShowOwnBox("Keep going?", "Question", kBoxTypeYesNo); });
  EXPECT_TRUE(QTest::qWaitFor([&] { return result.load() != -1; }, 10000));
  asker.join();
  EXPECT_EQ(result.load(), kBoxNo);
  EXPECT_EQ(title, "Question");
}

TEST(QtMessageBoxes, ClosingReleasesAThreadThatWaitsForABox) {
  QtMessageBoxes boxes;
  QObject context;
  std::atomic<int> result{-1};
  AnswerNextOwnBox(&context, [&](OwnMessageBox* box) {
    boxes.Close();
    EXPECT_TRUE(test::WaitUntil([&] { return result.load() != -1; }));  // released while the box is still open
    box->close();
  });
  std::thread asker([&] {
    result = boxes.ShowOwnBox("Continue?", "Question", kBoxTypeOkCancel);
    test::Changes().Notify();
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return result.load() != -1; }, 10000));
  asker.join();
  EXPECT_EQ(result.load(), kBoxCancel);
  EXPECT_EQ(boxes.ShowOwnBox("After", "Closed", kBoxTypeOk), kBoxNo);  // no box any more
}

// Answers the next system-style box with the button of `role`, noting what it showed.
struct SeenBox {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
};
void AnswerNextSystemBox(QObject* context, QMessageBox::ButtonRole role, SeenBox& seen) {
  auto* timer = new QTimer(context);
  QObject::connect(timer, &QTimer::timeout, context, [timer, role, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    seen = {box->windowTitle(), box->text(), box->icon(), int(box->buttons().size())};
    for (QAbstractButton* b : box->buttons())
      if (box->buttonRole(b) == role) QTest::mouseClick(b, Qt::LeftButton);
  });
  timer->start(5);
}

// The boxes that pass a choice or a number on; the others only show their texts.
TEST(QtMessageBoxes, TheOtherSubsystemsBoxesGiveTheChoiceAndShowTheirNumbers) {
  QtMessageBoxes boxes;
  QObject context;
  SeenBox seen;

  AnswerNextSystemBox(&context, QMessageBox::AcceptRole, seen);
  EXPECT_TRUE(boxes.AskNewVersion());
  EXPECT_EQ(seen.title, "New Version Available!");
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.buttons, 2);
  AnswerNextSystemBox(&context, QMessageBox::RejectRole, seen);
  EXPECT_FALSE(boxes.AskNewVersion());

  AnswerNextSystemBox(&context, QMessageBox::AcceptRole, seen);
  EXPECT_TRUE(boxes.ShowUpdateInformation("Version 2 is out"));
  EXPECT_EQ(seen.text, "Version 2 is out");

  AnswerNextSystemBox(&context, QMessageBox::AcceptRole, seen);
  boxes.ShowDatabaseInvalid(0x15);
  EXPECT_EQ(seen.title, "Error (LocDBInit)");
  EXPECT_EQ(seen.text, "Invalid file HopSight.gdp (0x15)");
  EXPECT_EQ(seen.buttons, 1);
}

}  // namespace
}  // namespace hs::ui
