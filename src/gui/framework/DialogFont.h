#pragma once

// The dialog font and the dialog units measured from it.

#include <QFont>
#include <QRect>
#include <string_view>

namespace quillmark {

// The font a template names. "MS Sans Serif" is a Windows bitmap font found almost
// nowhere else; it is replaced by the first of its look-alikes that is installed:
// Microsoft Sans Serif and Tahoma on Windows, Liberation Sans or Arimo (the metrics of
// Arial, close to MS Sans Serif at 8 point) elsewhere, DejaVu Sans as the last resort.
QFont DialogFont(std::string_view face, int pointSize);

// The dialog base units of a font: its average character width (over the 52 letters of
// the Latin alphabet) and its height, in pixels. A dialog unit is a quarter of the width
// across and an eighth of the height down. The width is kept unrounded, so a font whose
// letters average 6.4 pixels is not squeezed into 6-pixel units.
struct DialogBaseUnits {
  double cx = 0;
  double cy = 0;
};
DialogBaseUnits BaseUnitsOf(const QFont& font);

// Dialog units to pixels. The edges are mapped, not the sizes, so that controls that
// touch in dialog units touch on the screen.
int MapDialogX(const DialogBaseUnits& units, int x);
int MapDialogY(const DialogBaseUnits& units, int y);
QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy);

}  // namespace quillmark
