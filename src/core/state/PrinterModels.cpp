#include "state/PrinterModels.h"

namespace quillmark {

const PrinterModel& PrinterModelForRadio(int checkedRadioId) noexcept {
  for (const auto& model : kPrinterModels)
    if (model.radioId == checkedRadioId) return model;
  return kPrinterModels[0];
}

std::optional<PrinterModel> PrinterModelByCode(std::string_view code) noexcept {
  for (const auto& model : kPrinterModels)
    if (model.code == code) return model;
  return std::nullopt;
}

}  // namespace quillmark
