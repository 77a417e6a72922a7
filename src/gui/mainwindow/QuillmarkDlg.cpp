#include "mainwindow/QuillmarkDlg.h"

#include "dialogs/AboutDlg.h"
#include "dialogs/PictureSettingsDlg.h"
#include "dialogs/PortSettingDlg.h"
#include "dialogs/TargetPrinterDlg.h"
#include "port/SystemPortApi.h"
#include "res/Resource.h"

namespace quillmark {

CQuillmarkDlg::CQuillmarkDlg(CDialog* parent)
    : CDialog(IDD_QUILLMARK_DIALOG, parent),
      portApi(MakeSystemPortApi()),
      appIcon(LoadIconResource(IDR_MAINFRAME)) {}

CQuillmarkDlg::~CQuillmarkDlg() = default;

std::span<const MessageMapEntry> CQuillmarkDlg::GetMessageMap() const {
  constexpr int kSlotBase = IDC_BITMAP1 - 1;  // slot N comes from control kSlotBase + N
  constexpr MessageHandler kSlotHandler = &HandleOffset<&CQuillmarkDlg::OnBitmapCheck, kSlotBase>;
  static constexpr MessageMapEntry kMessageMap[] = {
      {Notification::SysCommand, 0, &Handle<&CQuillmarkDlg::OnSysCommand>},
      {Notification::Paint, 0, &Handle<&CQuillmarkDlg::OnPaint>},
      {Notification::Clicked, IDC_DOWNLOAD, &Handle<&CQuillmarkDlg::OnDownLoad>},
      {Notification::Clicked, IDC_PRINT, &Handle<&CQuillmarkDlg::OnPrint>},
      {Notification::Clicked, IDC_PATCH, &Handle<&CQuillmarkDlg::OnPatch>},
      {Notification::Clicked, IDC_FILE, &Handle<&CQuillmarkDlg::OnFile>},
      {Notification::Clicked, IDC_PORT, &Handle<&CQuillmarkDlg::OnPort>},
      {Notification::Clicked, 1006, kSlotHandler},
      {Notification::Clicked, 1007, kSlotHandler},
      {Notification::Clicked, 1008, kSlotHandler},
      {Notification::Clicked, 1009, kSlotHandler},
      {Notification::Clicked, 1010, kSlotHandler},
      {Notification::Clicked, 1011, kSlotHandler},
      {Notification::Clicked, 1012, kSlotHandler},
      {Notification::Clicked, 1013, kSlotHandler},
      {Notification::Clicked, 1014, kSlotHandler},
      {Notification::Clicked, 1015, kSlotHandler},
  };
  return kMessageMap;
}

void CQuillmarkDlg::DoDataExchange(CDataExchange& dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_SEND_PROGRESS, sendProgress);
  DDX_Control(dx, IDC_MEMORY_GAUGE, memoryGauge);
  for (int slot = 1; slot <= kSlotCount; ++slot)
    DDX_Control(dx, IDC_BITMAP1 + slot - 1, slotChecks[static_cast<std::size_t>(slot - 1)]);
}

bool CQuillmarkDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // "&Picture Settings..." and "&About Quillmark..." below a separator, in the system menu.
  if (CMenu* systemMenu = GetSystemMenu(false)) {
    const std::string settings(LoadResourceString(IDS_PICTURE_SETTINGS));
    const std::string about(LoadResourceString(IDS_ABOUTBOX));
    if (!about.empty()) {
      systemMenu->AppendMenu(MF_SEPARATOR);
      systemMenu->AppendMenu(MF_STRING, IDM_PICTURE_SETTINGS, settings);
      systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
    }
  }

  SetIcon(appIcon, true);
  SetIcon(appIcon, false);

  // Patch is a service command, offered only when the run was started with the access
  // code; nothing enables it later.
  if (appState.patchEnabled == 0) GetDlgItem(IDC_PATCH).EnableWindow(false);

  // The target printer fixes NV capacity and print width for the run. Closing the dialog
  // without OK leaves both 0, and the run goes on.
  CTargetPrinterDlg targetPrinter;
  targetPrinter.DoModal();
  appState.nvCapacity = targetPrinter.nvCapacity;
  appState.widthBytes = targetPrinter.widthBytes;
  return true;
}

void CQuillmarkDlg::OnSysCommand(unsigned id, long) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else if ((id & 0xFFF0) == IDM_PICTURE_SETTINGS) {
    CPictureSettingsDlg settings(&pictureOptions);
    settings.DoModal();
  } else {
    Default();
  }
}

void CQuillmarkDlg::OnPaint() {
  if (!IsIconic()) {
    Default();
    return;
  }
  // Minimised: the icon, centred in the client area.
  CPaintDC dc(this);
  dc.EraseIconBackground();
  CRect client;
  GetClientRect(&client);
  const int x = (client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
  dc.DrawIcon(x, y, appIcon);
}

void CQuillmarkDlg::OnPort() {
  CPortSettingDlg dialog(&appState.portSettings);
  dialog.DoModal();
}

}  // namespace quillmark
