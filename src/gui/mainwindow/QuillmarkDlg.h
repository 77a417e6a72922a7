#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>

#include "framework/Dialog.h"
#include "framework/GuiCommandUi.h"
#include "port/PortApi.h"
#include "raster/ConversionOptions.h"
#include "raster/PictureError.h"
#include "state/AppState.h"

namespace quillmark {

// The main window: ten image-slot check boxes, the send-progress bar and the memory
// gauge, and the command buttons. It holds the run's working state. While it initialises
// it asks for the target printer; Exit, Enter, Esc or the close box end the run.
class CQuillmarkDlg : public CDialog {
 public:
  explicit CQuillmarkDlg(CDialog* parent = nullptr);
  ~CQuillmarkDlg() override;  // AppState's destructor releases slots 1 to 10

  void DoDataExchange(CDataExchange& dx) override;
  bool OnInitDialog() override;

  // Message handlers. OnSysCommand opens the About box for any command whose ID masked
  // with 0xFFF0 is IDM_ABOUTBOX, Picture Settings for IDM_PICTURE_SETTINGS, and leaves the
  // others to the framework.
  void OnSysCommand(unsigned id, long param);
  void OnPaint();
  void OnDownLoad();
  void OnPrint();
  void OnPatch();
  void OnFile();
  void OnPort();
  void OnBitmapCheck(int slot);  // slot 1 to 10, from check box 1005 + slot

  // Asks for a picture and converts it for the target printer's width with pictureOptions.
  // On success appends the file's name to `label` within `budget` bytes and returns the NV
  // image; on Cancel or a picture that cannot be read returns nothing and leaves `label` as
  // it was. The chosen file's name goes to `*fileName` when given, and why a chosen picture
  // gave no image to `*failure` ("logo.bmp: not a BMP file").
  std::optional<ByteBlock> ConvertBitmapFile(std::string& label, int budget,
                                             std::string* failure = nullptr,
                                             std::string* fileName = nullptr);
  // The lower bar: the NV bytes of the filled slots in KiB against the capacity in KiB.
  void UpdateMemoryGauge();

  // The user interface the command logic uses: message boxes owned by this window and
  // the upper progress bar (1016).
  GuiCommandUi CommandUiForSend() { return GuiCommandUi(*this, sendProgress); }

  AppState appState;
  // How the pictures chosen from now on are converted, and why the last one gave no image
  // (kNone after a success or a Cancel).
  ConversionOptions pictureOptions;
  PictureError lastPictureError = PictureError::kNone;
  // The printer ports DownLoad and Print open: the system's devices ("LPT1" as /dev/lp0 on
  // Linux). Tests put a backend here whose names lead to FIFOs or pseudo-terminals.
  std::unique_ptr<PortApi> portApi;
  CProgressCtrl sendProgress;                  // control 1016
  CProgressCtrl memoryGauge;                   // control 1017
  std::array<CButton, kSlotCount> slotChecks;  // controls 1006 to 1015, slot 1 first
  Icon appIcon;

 protected:
  std::span<const MessageMapEntry> GetMessageMap() const override;
};

}  // namespace quillmark
