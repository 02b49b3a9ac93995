#include "ui/ask_target.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/artwork.h"
#include "ui/texts.h"

namespace hs::ui {

std::optional<QString> AskForTarget(QWidget* owner) {
  QDialog dialog(owner);
  dialog.setWindowTitle(UiText(TextId::AskTitle));
  dialog.setWindowIcon(ProgramIcon());
  auto* label = new QLabel(UiText(TextId::AskText), &dialog);
  auto* edit = new QLineEdit(&dialog);
  edit->setMinimumWidth(360);
  edit->setMaxLength(255);
  label->setBuddy(edit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QPushButton* trace = buttons->button(QDialogButtonBox::Ok);
  trace->setText(UiText(TextId::AskTrace));
  buttons->button(QDialogButtonBox::Cancel)->setText(UiText(TextId::Cancel));
  trace->setEnabled(false);
  QObject::connect(edit, &QLineEdit::textChanged, trace,
                   [trace](const QString& text) { trace->setEnabled(!text.trimmed().isEmpty()); });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* column = new QVBoxLayout(&dialog);
  column->addWidget(label);
  column->addWidget(edit);
  column->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted || edit->text().trimmed().isEmpty()) return std::nullopt;
  return edit->text().trimmed();
}

}  // namespace hs::ui
