// hopsight-artwork: writes the program icon as hicolor PNG files, and with
// --sheet FILE a picture of every skin piece at 1x, 1.5x and 2x beside the
// cursors (for looking at the artwork).
//
//   hopsight-artwork --icons DIR [--sheet FILE]
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <cstdio>

#include "ui/artwork.h"
#include "ui/skin.h"

namespace {

QImage Sheet(const QPalette& palette) {
  const int pieces[] = {15001, 15002, 15003, 15004, 15005, 15006, 15007, 15008, 15016, 15017, 15018,
                        15019, 15020, 15021, 15022, 15023, 15027, 15028, 15029, 15041, 15042};
  QImage sheet(1500, 900, QImage::Format_ARGB32_Premultiplied);
  sheet.fill(palette.color(QPalette::Window).darker(108));
  QPainter p(&sheet);
  int y = 10;
  for (qreal ratio : {1.0, 1.5, 2.0}) {
    hs::ui::Skin skin(palette, ratio);
    int x = 10, rowHeight = 0;
    for (int id : pieces) {
      QPixmap pm = skin.Piece(id);
      pm.setDevicePixelRatio(1.0);  // show the device pixels as they are
      if (x + pm.width() > sheet.width() - 10) {
        x = 10;
        y += rowHeight + 8;
        rowHeight = 0;
      }
      p.drawPixmap(x, y, pm);
      x += pm.width() + 8;
      rowHeight = std::max(rowHeight, pm.height());
    }
    for (auto id : {hs::ui::kCursorHand, hs::ui::kCursorGrab, hs::ui::kCursorButton}) {
      QImage c = hs::ui::CursorImage(id, ratio);
      c.setDevicePixelRatio(1.0);
      p.drawImage(x, y, c);
      x += c.width() + 8;
      rowHeight = std::max(rowHeight, c.height());
    }
    y += rowHeight + 16;
  }
  int x = 10;
  for (int size : hs::ui::kHicolorSizes) {
    p.drawImage(x, y, hs::ui::ProgramIconImage(size));
    x += size + 10;
  }
  p.end();
  return sheet.copy(0, 0, sheet.width(), std::min(sheet.height(), y + 266));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  QString iconsDir, sheet;
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--icons") iconsDir = args[++i];
    else if (args[i] == "--sheet") sheet = args[++i];
  }
  if (iconsDir.isEmpty() && sheet.isEmpty()) {
    std::fprintf(stderr, "usage: hopsight-artwork --icons DIR [--sheet FILE]\n");
    return 2;
  }
  if (!iconsDir.isEmpty()) {
    for (int size : hs::ui::kHicolorSizes) {
      const QString dir = QStringLiteral("%1/%2x%2/apps").arg(iconsDir).arg(size);
      if (!QDir().mkpath(dir) || !hs::ui::ProgramIconImage(size).save(dir + "/hopsight.png")) {
        std::fprintf(stderr, "hopsight-artwork: cannot write %s\n", qPrintable(dir));
        return 1;
      }
    }
  }
  if (!sheet.isEmpty() && !Sheet(QGuiApplication::palette()).save(sheet)) {
    std::fprintf(stderr, "hopsight-artwork: cannot write %s\n", qPrintable(sheet));
    return 1;
  }
  return 0;
}
