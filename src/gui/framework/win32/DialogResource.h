#pragma once

// Dialog templates of src/gui/res as the dialog manager takes them: an in-memory DLGTEMPLATEEX
// record with one DLGITEMTEMPLATEEX per control, in template (tab) order.

#include <cstdint>
#include <vector>

#include "res/DialogTemplate.h"

namespace quillmark::win32 {

// The record for DialogBoxIndirectParamW, in 16-bit words; every item starts on a 32-bit
// boundary counted from the first word. Positions and sizes stay in dialog units, measured
// by the system against the template's font. The dialog sits at 0, 0: OnInitDialog centres
// it.
std::vector<std::uint16_t> BuildDialogResource(const DialogTemplate& dialog);

}  // namespace quillmark::win32
