// Artwork drawn by code: the program icon (587 large, 603 small), the
// cursors (543 hand, 544 grab, 545 button) and the small glyphs of the tabs.
// Everything is drawn as vector shapes at the pixel size asked for, so it is
// sharp at any device pixel ratio; the build's icon tool writes the same
// drawings as the hicolor PNG files.
#pragma once

#include <QColor>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QRectF>

class QPainter;

namespace hs::ui {

enum IconId : int { kIconLarge = 587, kIconSmall = 603 };
enum CursorId : int { kCursorHand = 543, kCursorGrab = 544, kCursorButton = 545 };
enum class Glyph { Map, List, Registrant, Network };

// The program icon as a square image of `pixels` pixels. Below 24 pixels the
// small drawing (icon 603) is used, with fewer and bolder strokes.
QImage ProgramIconImage(int pixels);
// Icon 587 at the usual sizes plus icon 603 at 16 x 16.
QIcon ProgramIcon();
// Sizes written to the hicolor theme.
inline constexpr int kHicolorSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// A cursor drawn at the given device pixel ratio (its image is 32 logical pixels square).
QCursor MakeCursor(CursorId id, qreal devicePixelRatio);
QImage CursorImage(CursorId id, qreal devicePixelRatio);

// The home location wizard's side picture (99 x 307 logical pixels, drawn
// at any size): a globe over the night sea, a route, and the home pin.
QImage WizardSidePicture(QSize logical, qreal devicePixelRatio);

// A tab glyph in `box` (logical coordinates of the painter).
void DrawGlyph(QPainter& p, Glyph glyph, const QRectF& box, const QColor& colour);

}  // namespace hs::ui
