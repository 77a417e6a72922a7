// The Windows program on the framework's Win32 backend, under Wine with a real display:
// the system's dialogs built from the templates, driven through the test hook as a user
// would (clicks, keys, the file dialogs' name fields), their message boxes read back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dialogs/AboutDlg.h"
#include "dialogs/PictureSettingsDlg.h"
#include "dialogs/PortSettingDlg.h"
#include "framework/TestHook.h"
#include "mainwindow/QuillmarkApp.h"
#include "mainwindow/QuillmarkDlg.h"
#include "raster/SlotLabel.h"
#include "res/Resource.h"
// Last: its macros would rewrite the framework's names above.
#include "framework/win32/Win32.h"

namespace quillmark {
namespace {

using win32::WindowText;

bool noDisplay = false;

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    if (noDisplay) GTEST_SKIP() << "no display: Wine needs an X display (QUILLMARK_WINE_DISPLAY)";
    testhook::Reset();
  }
  void TearDown() override {
    EXPECT_EQ(testhook::PendingCount(), 0u) << "queued answers or actions were not used";
    testhook::Reset();
  }
};

HWND Item(const CDialog& dialog, int id) {
  return dialog.GetDlgItem(id).GetSafeHwnd();
}

// Handles what is posted, as the dialog's modal loop would.
void Pump(const CDialog& dialog) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageW(dialog.GetSafeHwnd(), &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

void Click(const CDialog& dialog, int id) {
  ASSERT_NE(Item(dialog, id), nullptr) << "no control " << id;
  SendMessageW(Item(dialog, id), BM_CLICK, 0, 0);
}

// A key pressed where the focus is, or on control `id` first focused.
void PressKey(const CDialog& dialog, WPARAM key, int id = 0) {
  if (id != 0) SetFocus(Item(dialog, id));
  PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
  PostMessageW(GetFocus(), WM_KEYUP, key, 0xC0000001);
  Pump(dialog);
}

// Picks `text` from a drop-down list with the keyboard, as a user may.
void Choose(const CDialog& dialog, int id, const std::string& text) {
  const std::wstring wide = win32::Widen(text);
  const auto index = SendMessageW(Item(dialog, id), CB_FINDSTRINGEXACT, -1,
                                  reinterpret_cast<LPARAM>(wide.c_str()));
  ASSERT_GE(index, 0) << text;
  PressKey(dialog, VK_HOME, id);
  for (LRESULT i = 0; i < index; ++i)
    PressKey(dialog, VK_DOWN);
  ASSERT_EQ(CComboBox(Item(dialog, id)).GetCurSel(), index) << text;
}

// The control's rectangle in the dialog's client area, and the template's in pixels.
using Edges = std::array<LONG, 4>;
Edges Placed(const CDialog& dialog, int id) {
  RECT rect;
  GetWindowRect(Item(dialog, id), &rect);
  MapWindowPoints(nullptr, dialog.GetSafeHwnd(), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right, rect.bottom};
}
// The dialog manager maps a control's position and size, each on its own.
Edges Mapped(const CDialog& dialog, int x, int y, int cx, int cy) {
  RECT rect{x, y, cx, cy};
  MapDialogRect(dialog.GetSafeHwnd(), &rect);
  return {rect.left, rect.top, rect.left + rect.right, rect.top + rect.bottom};
}

using MainAction = std::function<void(CQuillmarkDlg&)>;
using DialogAction = std::function<void(CDialog&)>;

DialogAction ChooseModel(int radio) {
  return [radio](CDialog& target) {
    if (radio == 0) return PressKey(target, VK_ESCAPE);
    Click(target, radio);
    Click(target, IDOK);
  };
}

void QueueMainWindow(MainAction action, DialogAction target = ChooseModel(IDC_MODEL_FIRST)) {
  testhook::QueueDialogAction(IDD_TARGET_PRINTER, std::move(target));
  testhook::QueueDialogAction<CQuillmarkDlg>(IDD_QUILLMARK_DIALOG, [action](CQuillmarkDlg& d) {
    action(d);
    if (d.IsRunningModal()) Click(d, IDOK);
  });
}

// The application, started with `commandLine`.
void RunProgram(const char* commandLine, MainAction action,
                DialogAction target = ChooseModel(IDC_MODEL_FIRST)) {
  CQuillmarkApp app;
  app.SetCommandLine(commandLine);
  QueueMainWindow(std::move(action), std::move(target));
  EXPECT_FALSE(app.InitInstance());
}

TEST_F(Windows, TheMainWindowIsTheTemplatesWithTheSystemMenusAbout) {
  RunProgram("quillmark.exe", [&](CQuillmarkDlg& dialog) {
    HWND window = dialog.GetSafeHwnd();
    EXPECT_EQ(WindowText(window), "Quillmark");
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ((Edges{0, 0, client.right, client.bottom}), Mapped(dialog, 0, 0, 250, 220));
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_APPWINDOW),
              WS_EX_TOPMOST | WS_EX_APPWINDOW);
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & (WS_SYSMENU | WS_MINIMIZEBOX), WS_SYSMENU);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, L"MS Sans Serif");
    // Every control of the template: the system's class for its kind, its caption, and the
    // rectangle the dialog manager maps the template's to.
    for (const ControlTemplate& c : dialog.Template()->controls) {
      HWND control = Item(dialog, c.id);
      ASSERT_NE(control, nullptr) << c.id;
      const bool bar = c.kind == ControlKind::ProgressBar;
      EXPECT_EQ(win32::ClassName(control), bar ? L"msctls_progress32" : L"Button") << c.id;
      EXPECT_EQ(WindowText(control), c.caption) << c.id;
      EXPECT_EQ(Placed(dialog, c.id), Mapped(dialog, c.x, c.y, c.cx, c.cy)) << c.id;
    }
    EXPECT_EQ(LOWORD(SendMessageW(window, DM_GETDEFID, 0, 0)), IDOK);
    EXPECT_EQ(GetFocus(), Item(dialog, IDOK));
    // Tab visits the tab stops in template order, skipping the disabled Patch.
    std::vector<int> visited;
    for (HWND at = GetFocus(); visited.size() < 15;) {
      at = GetNextDlgTabItem(window, at, FALSE);
      visited.push_back(GetDlgCtrlID(at));
    }
    EXPECT_EQ(visited, (std::vector<int>{1006, 1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015,
                                         1001, 1002, 1004, 1005, 1}));
    // The system menu ends with a separator and "&About Quillmark...", command 0x0010;
    // any command that is 0x0010 with the low four bits masked off opens the About box.
    HMENU menu = GetSystemMenu(window, FALSE);
    const int count = GetMenuItemCount(menu);
    wchar_t about[64] = {};
    GetMenuStringW(menu, count - 1, about, 64, MF_BYPOSITION);
    EXPECT_STREQ(about, L"&About Quillmark...");
    EXPECT_EQ(GetMenuItemID(menu, count - 1), IDM_ABOUTBOX);
    GetMenuStringW(menu, count - 2, about, 64, MF_BYPOSITION);
    EXPECT_STREQ(about, L"&Picture Settings...");
    EXPECT_EQ(GetMenuItemID(menu, count - 2), IDM_PICTURE_SETTINGS);
    EXPECT_EQ(GetMenuState(menu, static_cast<UINT>(count - 3), MF_BYPOSITION) & MF_SEPARATOR,
              static_cast<UINT>(MF_SEPARATOR));
    for (WPARAM command : {WPARAM{0x0010}, WPARAM{0x001F}}) {
      testhook::QueueDialogAction(IDD_ABOUTBOX, [](CDialog& box) {
        EXPECT_EQ(WindowText(box.GetSafeHwnd()), "About Quillmark");
        HWND icon = GetWindow(box.GetSafeHwnd(), GW_CHILD);  // the first control
        EXPECT_NE(SendMessageW(icon, STM_GETICON, 0, 0), 0);
        EXPECT_EQ(WindowText(GetWindow(icon, GW_HWNDNEXT)), "Quillmark Version 1.8.0.0");
        PressKey(box, VK_RETURN);
      });
      SendMessageW(window, WM_SYSCOMMAND, command, 0);
      EXPECT_EQ(testhook::PendingCount(), 0u) << command;
    }
    SendMessageW(window, WM_SYSCOMMAND, 0x0030, 0);  // nothing: the hook reports any box
    EXPECT_TRUE(dialog.IsRunningModal());
    // Picture Settings, command 0x0020: a digits-only field and the two lists; OK applies.
    testhook::QueueDialogAction(IDD_PICTURE_SETTINGS, [](CDialog& settings) {
      HWND threshold = Item(settings, IDC_THRESHOLD);
      EXPECT_EQ(win32::ClassName(threshold), L"Edit");
      EXPECT_EQ(GetWindowLongW(threshold, GWL_STYLE) & ES_NUMBER, ES_NUMBER);
      EXPECT_EQ(GetFocus(), threshold);
      EXPECT_EQ(WindowText(threshold), "128");
      SetWindowTextW(threshold, L"90");
      Choose(settings, IDC_DITHER_LIST, "Floyd-Steinberg");
      Choose(settings, IDC_ROTATE_LIST, "270");
      Click(settings, IDC_FIT);
      Click(settings, IDOK);
    });
    SendMessageW(window, WM_SYSCOMMAND, IDM_PICTURE_SETTINGS, 0);
    EXPECT_EQ(dialog.pictureOptions,
              (ConversionOptions{90, Dither::kFloydSteinberg, false, true, 270}));
  });
}

// The command line as Windows keeps it; Patch only for exactly the access code after the
// program name and its blanks. The Target Printer dialog comes first, on its own.
TEST_F(Windows, TheAccessCodeAndTheTargetPrinter) {
  const std::tuple<const char*, int, bool, std::uint32_t, std::int32_t> cases[] = {
      {"quillmark.exe QXV", 1026, true, 0x80000, 104},
      {"\"C:\\Program Files\\Quillmark\\quillmark.exe\"   QXV", 0, true, 0, 0},
      {"\"quillmark.exe\"QXV", 1024, true, 0x80000, 72},
      {"quillmark.exe\tQXV", 1025, true, 0x20000, 72},
      {"quillmark.exe \"QXV\"", 1023, false, 0x40000, 72},
      {"quillmark.exe QXV ", 1023, false, 0x40000, 72},
      {"quillmark.exe qxv", 1023, false, 0x40000, 72},
      {"quillmark.exe QXV x", 1023, false, 0x40000, 72},
      {"quillmark.exe", 1023, false, 0x40000, 72},
  };
  for (const auto& [commandLine, model, patch, nvCapacity, widthBytes] : cases) {
    const DialogAction target = [model = model](CDialog& dialog) {
      EXPECT_EQ(WindowText(dialog.GetSafeHwnd()), "Target Printer");
      EXPECT_EQ(GetWindow(dialog.GetSafeHwnd(), GW_OWNER), nullptr);
      EXPECT_EQ(dialog.GetCheckedRadioButton(1023, 1026), 1023);
      ChooseModel(model)(dialog);
    };
    RunProgram(
        commandLine,
        [&, patch = patch](CQuillmarkDlg& d) {
          EXPECT_EQ(d.GetDlgItem(IDC_PATCH).IsWindowEnabled(), patch) << commandLine;
          EXPECT_EQ(d.appState.nvCapacity, nvCapacity) << commandLine;
          EXPECT_EQ(d.appState.widthBytes, widthBytes) << commandLine;
        },
        target);
  }
}

std::pair<int, int> Bar(const CProgressCtrl& bar) {  // upper end and position
  int lower = 0, upper = 0;
  bar.GetRange(lower, upper);
  return {upper, bar.GetPos()};
}

// The entries the five lists show, port first.
std::vector<std::string> Shown(const CDialog& dialog) {
  std::vector<std::string> shown;
  for (int id :
       {IDC_PORT_LIST, IDC_BAUDRATE_LIST, IDC_DATABITS_LIST, IDC_PARITY_LIST, IDC_STOPBITS_LIST}) {
    const CComboBox list(Item(dialog, id));
    shown.push_back(list.GetLBText(list.GetCurSel()));
  }
  return shown;
}

bool SerialEnabled(const CDialog& dialog) {
  const bool enabled = IsWindowEnabled(Item(dialog, IDC_BAUDRATE_LIST));
  for (int id : {IDC_DATABITS_LIST, IDC_PARITY_LIST, IDC_STOPBITS_LIST})
    EXPECT_EQ(IsWindowEnabled(Item(dialog, id)) != FALSE, enabled) << id;
  return enabled;
}

TEST_F(Windows, PortSettingListsEnablingOkAndCancel) {
  RunProgram("quillmark.exe", [](CQuillmarkDlg& dialog) {
    testhook::QueueDialogAction(IDD_PORT_SETTING, [&](CDialog& port) {
      EXPECT_EQ(GetWindow(port.GetSafeHwnd(), GW_OWNER), dialog.GetSafeHwnd());
      EXPECT_EQ(Shown(port),
                (std::vector<std::string>{"LPT1", "9600BPS", "8Bit", "NonParity", "1Bit"}));
      EXPECT_FALSE(SerialEnabled(port));
      EXPECT_EQ(CButton(Item(port, IDC_BRIX_MODE)).GetCheck(), BST_CHECKED);
      for (const auto& [name, serial] :
           {std::pair{"COM3", true}, {"LPT3", false}, {"COM2", true}}) {
        Choose(port, IDC_PORT_LIST, name);
        EXPECT_EQ(SerialEnabled(port), serial) << name;
      }
      Choose(port, IDC_STOPBITS_LIST, "2Bit");
      Click(port, IDC_BRIX_MODE);
      Click(port, IDOK);
    });
    Click(dialog, IDC_PORT);
    EXPECT_EQ(dialog.appState.portSettings, (PortSettings{0, 0, 5, 3, 1, 0, 1}));
    testhook::QueueDialogAction(IDD_PORT_SETTING, [](CDialog& port) {
      EXPECT_EQ(Shown(port),
                (std::vector<std::string>{"COM2", "9600BPS", "8Bit", "NonParity", "2Bit"}));
      EXPECT_TRUE(SerialEnabled(port));
      Choose(port, IDC_PORT_LIST, "LPT4");
      PressKey(port, VK_ESCAPE);
    });
    Click(dialog, IDC_PORT);
    EXPECT_EQ(dialog.appState.portSettings, (PortSettings{0, 0, 5, 3, 1, 0, 1}));
  });
}

// A shop's run end to end, when scripts/test.d/50-windows gives the sample pictures and the
// export's name and points LPT1 at a FIFO: the pictures in slots 1, 4 (a PNG, read by the
// system's decoder) and 10 for the A4 (their labels and the gauge), BRIX Mode off; File,
// DownLoad; BRIX Mode on, Print. The script compares the file and the bytes at LPT1 with
// what the Linux tool writes.
TEST_F(Windows, AShopsRunFileDownLoadAndPrintThroughLpt1) {
  const wchar_t* examples = _wgetenv(L"QUILLMARK_TEST_EXAMPLES");
  const wchar_t* exported = _wgetenv(L"QUILLMARK_TEST_EXPORT");
  if (examples == nullptr || exported == nullptr) GTEST_SKIP() << "run by 50-windows only";
  const DialogAction toggleBrixMode = [](CDialog& port) {
    Click(port, IDC_BRIX_MODE);
    Click(port, IDOK);
  };
  RunProgram(
      "quillmark.exe",
      [&](CQuillmarkDlg& dialog) {
        testhook::QueueFileDialogCancel();  // Cancel leaves the slot empty, its label bare
        Click(dialog, IDC_BITMAP1 + 1);
        EXPECT_EQ(dialog.slotChecks[1].GetCheck(), BST_UNCHECKED);
        EXPECT_EQ(dialog.slotChecks[1].GetWindowText(), "Bitmap2  : ");
        for (const auto& [slot, name, kib] : {std::tuple{1, "logo-576.bmp", 13},
                                              {4, "badge-128.png", 15},
                                              {10, "photo-480.bmp", 29}}) {
          testhook::QueueFileDialogAnswer(win32::Narrow(examples) + "\\" + name);
          Click(dialog, IDC_BITMAP1 + slot - 1);
          const CButton& box = dialog.slotChecks[static_cast<std::size_t>(slot - 1)];
          EXPECT_EQ(box.GetCheck(), BST_CHECKED);
          EXPECT_EQ(box.GetWindowText(), SlotLabel(slot) + name);
          EXPECT_EQ(Bar(dialog.memoryGauge), std::make_pair(512, kib)) << name;
        }
        testhook::QueueDialogAction(IDD_PORT_SETTING, toggleBrixMode);
        Click(dialog, IDC_PORT);
        testhook::QueueFileDialogAnswer(win32::Narrow(exported));
        for (int i = 0; i < 3; ++i)
          testhook::QueueMessageBoxAnswer(IDOK);
        Click(dialog, IDC_FILE);
        Click(dialog, IDC_DOWNLOAD);
        EXPECT_EQ(Bar(dialog.sendProgress).second, Bar(dialog.sendProgress).first);
        testhook::QueueDialogAction(IDD_PORT_SETTING, toggleBrixMode);
        Click(dialog, IDC_PORT);
        Click(dialog, IDC_PRINT);
      },
      ChooseModel(1024));
  std::vector<std::string> texts;
  for (const auto& box : testhook::TakeShownMessageBoxes())
    texts.push_back(box.text);
  EXPECT_EQ(texts, (std::vector<std::string>{"Write Finish", "Communication Finish",
                                             "Communication Finish"}));
}

// Each dialog as it opens, frame included, as a PPM picture in build/mingw/screenshots
// (50-windows turns them into the PNGs of docs/images).
void SaveScreenshot(const CDialog& dialog, const std::string& name) {
  HWND window = dialog.GetSafeHwnd();
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT frame;
  GetWindowRect(window, &frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  HDC source = GetWindowDC(window);
  HDC memory = CreateCompatibleDC(source);
  HBITMAP bitmap = CreateCompatibleBitmap(source, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFO format{};
  format.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width * height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), &format, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(window, source);
  std::filesystem::create_directories(QUILLMARK_SCREENSHOT_DIR);
  std::ofstream file(std::string(QUILLMARK_SCREENSHOT_DIR) + "/windows-" + name + ".ppm",
                     std::ios::binary);
  file << "P6\n" << width << ' ' << height << "\n255\n";
  for (std::uint32_t pixel : pixels) {
    const char rgb[] = {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8),
                        static_cast<char>(pixel)};
    file.write(rgb, 3);
  }
  EXPECT_TRUE(file.good()) << name;
}

TEST_F(Windows, Screenshots) {
  const std::pair<int, const char*> shots[] = {{IDD_TARGET_PRINTER, "target-printer"},
                                               {IDD_QUILLMARK_DIALOG, "main-window"},
                                               {IDD_PORT_SETTING, "port-setting"},
                                               {IDD_ABOUTBOX, "about"},
                                               {IDD_PICTURE_SETTINGS, "picture-settings"}};
  for (const auto& [id, name] : shots) {
    testhook::QueueDialogAction(id, [name = name](CDialog& dialog) {
      SaveScreenshot(dialog, name);
      dialog.EndDialog(IDCANCEL);
    });
  }
  CQuillmarkDlg().DoModal();
  PortSettings settings;
  CPortSettingDlg(&settings).DoModal();
  CAboutDlg().DoModal();
  ConversionOptions options;
  CPictureSettingsDlg(&options).DoModal();
}

}  // namespace
}  // namespace quillmark

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Without a display Wine creates no window.
  HWND probe =
      CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  quillmark::noDisplay = probe == nullptr;
  if (probe != nullptr) DestroyWindow(probe);
  quillmark::testhook::Enable();
  quillmark::testhook::SetFailureHandler(
      [](const std::string& message) { ADD_FAILURE() << "test hook: " << message; });
  return RUN_ALL_TESTS();
}
