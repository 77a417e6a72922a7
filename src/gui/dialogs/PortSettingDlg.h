#pragma once

#include "framework/Dialog.h"
#include "state/PortSettings.h"

namespace quillmark {

// Edits a PortSettings record: the port, the serial line settings (enabled only while a
// COM port is chosen) and BRIX mode. OK writes every field at once; Cancel, Esc and the
// close box write nothing.
class CPortSettingDlg : public CDialog {
 public:
  // `record` is not owned and must outlive the dialog.
  explicit CPortSettingDlg(PortSettings* record, CDialog* parent = nullptr);

  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;
  void OnOK() override;
  // The user picked another port.
  void OnSelChangePort();

  PortSettings* settings;
  CButton brixModeCheck;
  CComboBox portCombo;
  CComboBox baudRateCombo;
  CComboBox dataBitsCombo;
  CComboBox parityCombo;
  CComboBox stopBitsCombo;

 protected:
  std::span<const MessageMapEntry> GetMessageMap() const override;

 private:
  // Enables the four serial lists exactly when `portIndex` is a COM port.
  void EnableSerialLists(int portIndex);
};

}  // namespace quillmark
