#include "dialogs/PortSettingDlg.h"

#include "res/Resource.h"

namespace quillmark {
namespace {

// The list's selection; the record's value when the list shows none. Every entry of the
// lists is valid, and a list shows no entry only when the record held an index outside
// its table: that index is kept rather than replaced by "none".
std::int32_t SelectionOr(const CComboBox& list, std::int32_t current) {
  const int selection = list.GetCurSel();
  return selection == CB_ERR ? current : selection;
}

}  // namespace

CPortSettingDlg::CPortSettingDlg(PortSettings* record, CDialog* parent)
    : CDialog(IDD_PORT_SETTING, parent), settings(record) {}

std::span<const MessageMapEntry> CPortSettingDlg::GetMessageMap() const {
  static constexpr MessageMapEntry kMessageMap[] = {
      {Notification::SelChange, IDC_PORT_LIST, &Handle<&CPortSettingDlg::OnSelChangePort>},
  };
  return kMessageMap;
}

void CPortSettingDlg::DoDataExchange(CDataExchange& dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_BRIX_MODE, brixModeCheck);
  DDX_Control(dx, IDC_PORT_LIST, portCombo);
  DDX_Control(dx, IDC_BAUDRATE_LIST, baudRateCombo);
  DDX_Control(dx, IDC_DATABITS_LIST, dataBitsCombo);
  DDX_Control(dx, IDC_PARITY_LIST, parityCombo);
  DDX_Control(dx, IDC_STOPBITS_LIST, stopBitsCombo);
}

bool CPortSettingDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  portCombo.SetCurSel(settings->port);
  baudRateCombo.SetCurSel(settings->baudRate);
  dataBitsCombo.SetCurSel(settings->dataBits);
  parityCombo.SetCurSel(settings->parity);
  stopBitsCombo.SetCurSel(settings->stopBits);
  EnableSerialLists(portCombo.GetCurSel());
  brixModeCheck.SetCheck(settings->brixMode != 0 ? BST_CHECKED : BST_UNCHECKED);
  return true;
}

void CPortSettingDlg::OnSelChangePort() {
  EnableSerialLists(portCombo.GetCurSel());
}

void CPortSettingDlg::EnableSerialLists(int portIndex) {
  // No selection (CB_ERR) counts as a parallel port.
  const bool serial = portIndex >= kFirstSerialPort;
  baudRateCombo.EnableWindow(serial);
  dataBitsCombo.EnableWindow(serial);
  parityCombo.EnableWindow(serial);
  stopBitsCombo.EnableWindow(serial);
}

void CPortSettingDlg::OnOK() {
  PortSettings chosen = *settings;
  chosen.port = SelectionOr(portCombo, settings->port);
  chosen.parallel = chosen.port < kFirstSerialPort ? 1 : 0;
  // The serial values are stored whether their lists are enabled or not.
  chosen.baudRate = SelectionOr(baudRateCombo, settings->baudRate);
  chosen.dataBits = SelectionOr(dataBitsCombo, settings->dataBits);
  chosen.parity = SelectionOr(parityCombo, settings->parity);
  chosen.stopBits = SelectionOr(stopBitsCombo, settings->stopBits);
  chosen.brixMode = brixModeCheck.GetCheck() != BST_UNCHECKED ? 1 : 0;
  *settings = chosen;
  CDialog::OnOK();
}

}  // namespace quillmark
