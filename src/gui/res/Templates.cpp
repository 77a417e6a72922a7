#include "res/DialogTemplate.h"
#include "res/Resource.h"
#include "state/PortSettings.h"
#include "state/PrinterModels.h"

namespace quillmark {
namespace {

constexpr std::string_view kDialogFont = "MS Sans Serif";
constexpr int kDialogFontSize = 8;

// About box.
constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, ControlKind::Icon, "", 10, 10, 20, 20, 0, {}, IDR_MAINFRAME},
    {IDC_STATIC, ControlKind::StaticText, "Quillmark Version 1.8.0.0", 40, 10, 120, 8,
     kCtlLeftAlign},
    {IDOK, ControlKind::PushButton, "OK", 150, 22, 60, 14,
     kCtlDefaultButton | kCtlGroup | kCtlTabStop},
};

// Main window: the slot boxes, the two bars and the command buttons.
constexpr unsigned kSlotBox = kCtlTabStop | kCtlVCenter;
constexpr ControlTemplate kMainControls[] = {
    {IDOK, ControlKind::PushButton, "Exit", 180, 138, 60, 16, kCtlDefaultButton | kCtlTabStop},
    {1006, ControlKind::AutoCheckBox, "Bitmap1  :", 10, 10, 160, 10, kSlotBox | kCtlGroup},
    {1007, ControlKind::AutoCheckBox, "Bitmap2  :", 10, 26, 160, 10, kSlotBox},
    {1008, ControlKind::AutoCheckBox, "Bitmap3  :", 10, 42, 160, 10, kSlotBox},
    {1009, ControlKind::AutoCheckBox, "Bitmap4  :", 10, 58, 160, 10, kSlotBox},
    {1010, ControlKind::AutoCheckBox, "Bitmap5  :", 10, 74, 160, 10, kSlotBox},
    {1011, ControlKind::AutoCheckBox, "Bitmap6  :", 10, 90, 160, 10, kSlotBox},
    {1012, ControlKind::AutoCheckBox, "Bitmap7  :", 10, 106, 160, 10, kSlotBox},
    {1013, ControlKind::AutoCheckBox, "Bitmap8  :", 10, 122, 160, 10, kSlotBox},
    {1014, ControlKind::AutoCheckBox, "Bitmap9  :", 10, 138, 160, 10, kSlotBox},
    {1015, ControlKind::AutoCheckBox, "Bitmap10 :", 10, 154, 160, 10, kSlotBox},
    {IDC_SEND_PROGRESS, ControlKind::ProgressBar, "", 10, 180, 230, 10, kCtlBorder | kCtlGroup},
    {IDC_MEMORY_GAUGE, ControlKind::ProgressBar, "", 10, 200, 230, 10, kCtlBorder | kCtlGroup},
    {IDC_DOWNLOAD, ControlKind::PushButton, "DownLoad", 180, 18, 60, 16, kCtlGroup | kCtlTabStop},
    {IDC_PRINT, ControlKind::PushButton, "Print", 180, 42, 60, 16, kCtlTabStop},
    {IDC_PATCH, ControlKind::PushButton, "Patch", 180, 66, 60, 16, kCtlTabStop},
    {IDC_FILE, ControlKind::PushButton, "File", 180, 90, 60, 16, kCtlTabStop},
    {IDC_PORT, ControlKind::PushButton, "Port", 180, 114, 60, 16, kCtlTabStop},
};

// Port Setting: the lists hold the index tables' texts, in index order.
constexpr unsigned kList = kCtlVScroll | kCtlGroup | kCtlTabStop;
constexpr unsigned kLabel = kCtlLeftAlign | kCtlGroup;
constexpr ControlTemplate kPortSettingControls[] = {
    {IDOK, ControlKind::PushButton, "OK", 40, 90, 60, 14,
     kCtlDefaultButton | kCtlGroup | kCtlTabStop},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 142, 90, 60, 14, kCtlTabStop},
    {IDC_PORT_LIST, ControlKind::DropDownList, "", 54, 10, 60, 60, kList, kPortNames},
    {IDC_BRIX_MODE, ControlKind::AutoCheckBox, "BRIX Mode", 130, 10, 100, 12,
     kCtlGroup | kCtlTabStop},
    {IDC_BAUDRATE_LIST, ControlKind::DropDownList, "", 53, 40, 60, 80, kList, kBaudRateTexts},
    {IDC_DATABITS_LIST, ControlKind::DropDownList, "", 174, 40, 60, 80, kList, kDataBitsTexts},
    {IDC_PARITY_LIST, ControlKind::DropDownList, "", 53, 60, 60, 80, kList, kParityTexts},
    {IDC_STOPBITS_LIST, ControlKind::DropDownList, "", 174, 60, 60, 80, kList, kStopBitsTexts},
    {IDC_STATIC, ControlKind::StaticText, "Port :", 10, 12, 40, 10, kLabel},
    {IDC_STATIC, ControlKind::StaticText, "BaudRate :", 10, 42, 40, 10, kLabel},
    {IDC_STATIC, ControlKind::StaticText, "DataBit :", 130, 42, 40, 10, kLabel},
    {IDC_STATIC, ControlKind::StaticText, "ParityBit :", 10, 62, 40, 10, kLabel},
    {IDC_STATIC, ControlKind::StaticText, "StopBit :", 130, 62, 40, 10, kLabel},
};

// Target Printer: one radio button per printer model, the first starting the group.
constexpr ControlTemplate kTargetPrinterControls[] = {
    {IDOK, ControlKind::PushButton, "OK", 130, 58, 60, 14,
     kCtlDefaultButton | kCtlGroup | kCtlTabStop},
    {kPrinterModels[0].radioId, ControlKind::AutoRadioButton, kPrinterModels[0].caption, 10, 12,
     100, 10, kCtlGroup | kCtlTabStop},
    {kPrinterModels[1].radioId, ControlKind::AutoRadioButton, kPrinterModels[1].caption, 10, 28,
     100, 10},
    {kPrinterModels[2].radioId, ControlKind::AutoRadioButton, kPrinterModels[2].caption, 10, 44,
     100, 10},
    {kPrinterModels[3].radioId, ControlKind::AutoRadioButton, kPrinterModels[3].caption, 10, 60,
     100, 10},
};

// Picture Settings: the conversion options of the pictures chosen next. The lists' entries
// are in the order of Dither and of the turns 0, 90, 180 and 270.
constexpr std::string_view kDitherTexts[] = {"None", "Floyd-Steinberg", "Atkinson", "Ordered"};
constexpr std::string_view kRotateTexts[] = {"0", "90", "180", "270"};
constexpr ControlTemplate kPictureSettingsControls[] = {
    {IDC_STATIC, ControlKind::StaticText, "Threshold :", 10, 12, 50, 10, kLabel},
    {IDC_THRESHOLD, ControlKind::Edit, "", 64, 10, 30, 12,
     kCtlNumber | kCtlBorder | kCtlGroup | kCtlTabStop},
    {IDC_STATIC, ControlKind::StaticText, "(0 to 255)", 100, 12, 50, 10, kLabel},
    {IDC_STATIC, ControlKind::StaticText, "Dithering :", 10, 30, 50, 10, kLabel},
    {IDC_DITHER_LIST, ControlKind::DropDownList, "", 64, 28, 80, 70, kList, kDitherTexts},
    {IDC_STATIC, ControlKind::StaticText, "Rotation :", 10, 48, 50, 10, kLabel},
    {IDC_ROTATE_LIST, ControlKind::DropDownList, "", 64, 46, 80, 70, kList, kRotateTexts},
    {IDC_INVERT, ControlKind::AutoCheckBox, "Invert (print the negative)", 10, 66, 140, 10,
     kCtlGroup | kCtlTabStop},
    {IDC_FIT, ControlKind::AutoCheckBox, "Fit to the print width", 10, 80, 140, 10,
     kCtlGroup | kCtlTabStop},
    {IDOK, ControlKind::PushButton, "OK", 160, 10, 50, 14,
     kCtlDefaultButton | kCtlGroup | kCtlTabStop},
    {IDCANCEL, ControlKind::PushButton, "Cancel", 160, 28, 50, 14, kCtlTabStop},
};

constexpr unsigned kModalDialog = kDlgCaption | kDlgSysMenu | kDlgModalFrame;

constexpr DialogTemplate kTemplates[] = {
    {IDD_ABOUTBOX, "About Quillmark", 220, 44, kDialogFont, kDialogFontSize, kModalDialog,
     kAboutControls},
    {IDD_QUILLMARK_DIALOG, "Quillmark", 250, 220, kDialogFont, kDialogFontSize,
     kModalDialog | kDlgSystemModal | kDlgAppWindow, kMainControls},
    {IDD_PORT_SETTING, "Port Setting", 244, 114, kDialogFont, kDialogFontSize, kModalDialog,
     kPortSettingControls},
    {IDD_TARGET_PRINTER, "Target Printer", 200, 80, kDialogFont, kDialogFontSize, kModalDialog,
     kTargetPrinterControls},
    {IDD_PICTURE_SETTINGS, "Picture Settings", 220, 100, kDialogFont, kDialogFontSize, kModalDialog,
     kPictureSettingsControls},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) noexcept {
  for (const auto& dialog : kTemplates)
    if (dialog.id == id) return &dialog;
  return nullptr;
}

std::string_view LoadResourceString(int id) noexcept {
  if (id == IDS_ABOUTBOX) return "&About Quillmark...";
  if (id == IDS_PICTURE_SETTINGS) return "&Picture Settings...";
  return {};
}

}  // namespace quillmark
