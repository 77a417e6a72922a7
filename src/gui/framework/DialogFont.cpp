#include "framework/DialogFont.h"

#include <QFontMetricsF>
#include <QStringList>
#include <cmath>

namespace quillmark {

QFont DialogFont(std::string_view face, int pointSize) {
  QFont font;
  if (face == "MS Sans Serif") {
    font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Tahoma"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
  } else {
    font.setFamilies({QString::fromUtf8(face.data(), static_cast<qsizetype>(face.size())),
                      QStringLiteral("DejaVu Sans")});
  }
  font.setPointSize(pointSize > 0 ? pointSize : 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetricsF metrics(font);
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  DialogBaseUnits units;
  units.cx = metrics.horizontalAdvance(letters) / 52.0;
  units.cy = std::ceil(metrics.height());
  return units;
}

int MapDialogX(const DialogBaseUnits& units, int x) {
  return static_cast<int>(std::lround(x * units.cx / 4.0));
}

int MapDialogY(const DialogBaseUnits& units, int y) {
  return static_cast<int>(std::lround(y * units.cy / 8.0));
}

QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy) {
  const int left = MapDialogX(units, x);
  const int top = MapDialogY(units, y);
  return {left, top, MapDialogX(units, x + cx) - left, MapDialogY(units, y + cy) - top};
}

}  // namespace quillmark
