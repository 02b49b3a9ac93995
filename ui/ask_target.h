// The small window of the desktop entry (hopsight --ask): asks for a target,
// which then goes the way of "/T target".
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace hs::ui {

// Shows the dialog modally; the trimmed target, or none when the user cancelled.
std::optional<QString> AskForTarget(QWidget* owner = nullptr);

}  // namespace hs::ui
