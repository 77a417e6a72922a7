#pragma once

#include <string>
#include <string_view>

namespace quillmark {

// The longest slot label text before the continuation mark; every caller uses it.
inline constexpr int kSlotLabelBudget = 32;

// The label of slot 1 to 10, which the slot's check box shows before the file name:
// "Bitmap" and the slot number padded with blanks to nine characters, then ": "
// ("Bitmap1  : ", "Bitmap10 : "), 11 characters. Empty for another number.
std::string SlotLabel(int slot);

// The slot label after a successful conversion: `label` followed by `fileName` (the
// chosen file's name without its folder), within `budget` bytes. With r = budget minus the
// label's length: nothing is appended when r is 0 or less; a name of at most r bytes is
// appended whole; a longer one is cut to its first r bytes and followed by "...". Names
// are UTF-8: the cut moves back to the start of a character rather than split one, so the
// text may end up to three bytes short of the budget.
std::string AppendFileNameToLabel(std::string_view label, std::string_view fileName,
                                  int budget = kSlotLabelBudget);

}  // namespace quillmark
