#include "dialogs/TargetPrinterDlg.h"

#include "res/Resource.h"
#include "state/PrinterModels.h"

namespace quillmark {

CTargetPrinterDlg::CTargetPrinterDlg(CDialog* parent) : CDialog(IDD_TARGET_PRINTER, parent) {}

bool CTargetPrinterDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  CheckRadioButton(IDC_MODEL_FIRST, IDC_MODEL_LAST, IDC_MODEL_FIRST);
  return true;
}

void CTargetPrinterDlg::OnOK() {
  // No button checked (0) gives the first model.
  const PrinterModel& model =
      PrinterModelForRadio(GetCheckedRadioButton(IDC_MODEL_FIRST, IDC_MODEL_LAST));
  nvCapacity = model.nvCapacity;
  widthBytes = model.widthBytes;
  CDialog::OnOK();
}

}  // namespace quillmark
