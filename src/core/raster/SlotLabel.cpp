#include "raster/SlotLabel.h"

namespace quillmark {
namespace {

bool IsContinuationByte(char c) noexcept {
  return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

}  // namespace

std::string SlotLabel(int slot) {
  if (slot < 1 || slot > 10) return {};
  std::string label = "Bitmap" + std::to_string(slot);
  label.resize(9, ' ');
  return label + ": ";
}

std::string AppendFileNameToLabel(std::string_view label, std::string_view fileName, int budget) {
  std::string text(label);
  if (budget <= 0 || label.size() >= static_cast<std::size_t>(budget)) return text;
  const std::size_t room = static_cast<std::size_t>(budget) - label.size();
  if (fileName.size() <= room) return text.append(fileName);

  std::size_t cut = room;
  while (cut > 0 && IsContinuationByte(fileName[cut]))
    --cut;
  text.append(fileName.substr(0, cut));
  return text.append("...");
}

}  // namespace quillmark
