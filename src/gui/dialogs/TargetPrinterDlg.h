#pragma once

#include <cstdint>

#include "framework/Dialog.h"

namespace quillmark {

// Asks once per run which printer model is the target. OK stores the model's NV memory
// size and print width; closing the dialog any other way leaves both 0.
class CTargetPrinterDlg : public CDialog {
 public:
  explicit CTargetPrinterDlg(CDialog* parent = nullptr);

  bool OnInitDialog() override;  // checks the first model
  void OnOK() override;

  std::uint32_t nvCapacity = 0;  // bytes
  std::int32_t widthBytes = 0;   // bytes of 8 dots
};

}  // namespace quillmark
