#pragma once

#include "framework/Dialog.h"
#include "raster/ConversionOptions.h"

namespace quillmark {

// Edits the ConversionOptions the window applies to the pictures chosen from now on: the
// threshold, the dithering, the turn, inverting and fitting to the print width. OK writes
// them all at once (a threshold outside 0 to 255 is refused with a message and the dialog
// stays open); Cancel, Esc and the close box write nothing.
class CPictureSettingsDlg : public CDialog {
 public:
  // `record` is not owned and must outlive the dialog.
  explicit CPictureSettingsDlg(ConversionOptions* record, CDialog* parent = nullptr);

  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;
  void OnOK() override;

  ConversionOptions* options;
  CWnd thresholdEdit;
  CComboBox ditherCombo;
  CComboBox rotateCombo;
  CButton invertCheck;
  CButton fitCheck;
};

// "Please enter an integer between 0 and 255.": the answer to a threshold out of range.
inline constexpr char kThresholdRangeText[] = "Please enter an integer between 0 and 255.";

}  // namespace quillmark
