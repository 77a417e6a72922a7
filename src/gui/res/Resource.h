#pragma once

// Identifiers of the dialog templates, strings, icon and controls. Control IDs are unique
// within their dialog only: the "BRIX Mode" check box shares 1006 with the first slot box.

namespace quillmark {

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_QUILLMARK_DIALOG = 102;
inline constexpr int IDD_PORT_SETTING = 129;
inline constexpr int IDD_TARGET_PRINTER = 130;
inline constexpr int IDD_PICTURE_SETTINGS = 131;

// Strings.
inline constexpr int IDS_ABOUTBOX = 101;          // "&About Quillmark..."
inline constexpr int IDS_PICTURE_SETTINGS = 103;  // "&Picture Settings..."

// Icons.
inline constexpr int IDR_MAINFRAME = 128;

// System-menu command of the About entry. Commands below 0xF000 belong to the application;
// the low four bits are reserved by the system, so a handler masks them off.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
inline constexpr unsigned IDM_PICTURE_SETTINGS = 0x0020;

// The standard buttons, as in every dialog template: OK is control 1 and Cancel control 2.
// A dialog ended by one of them answers with its ID.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Controls without an identifier of their own (static texts, the About box's icon).
inline constexpr int IDC_STATIC = -1;

// Main window.
inline constexpr int IDC_DOWNLOAD = 1001;
inline constexpr int IDC_PRINT = 1002;
inline constexpr int IDC_PATCH = 1003;
inline constexpr int IDC_FILE = 1004;
inline constexpr int IDC_PORT = 1005;
inline constexpr int IDC_BITMAP1 = 1006;  // slot N has the check box IDC_BITMAP1 + N - 1
inline constexpr int IDC_BITMAP10 = 1015;
inline constexpr int IDC_SEND_PROGRESS = 1016;  // upper bar: progress of a send
inline constexpr int IDC_MEMORY_GAUGE = 1017;   // lower bar: NV memory used by the slots

// Port Setting.
inline constexpr int IDC_BRIX_MODE = 1006;
inline constexpr int IDC_PORT_LIST = 1018;
inline constexpr int IDC_BAUDRATE_LIST = 1019;
inline constexpr int IDC_DATABITS_LIST = 1020;
inline constexpr int IDC_PARITY_LIST = 1021;
inline constexpr int IDC_STOPBITS_LIST = 1022;

// Target Printer: one radio button per model, in the order of kPrinterModels.
inline constexpr int IDC_MODEL_FIRST = 1023;
inline constexpr int IDC_MODEL_LAST = 1026;

// Picture Settings.
inline constexpr int IDC_THRESHOLD = 1027;
inline constexpr int IDC_DITHER_LIST = 1028;
inline constexpr int IDC_ROTATE_LIST = 1029;
inline constexpr int IDC_INVERT = 1030;
inline constexpr int IDC_FIT = 1031;

}  // namespace quillmark
