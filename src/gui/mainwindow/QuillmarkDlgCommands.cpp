// The command handlers of the main window: the output commands and the image slots.
// Each runs to completion on the UI thread; the command logic shows its message boxes
// and file dialogs through CommandUiForSend(), owned by this window.

#include <filesystem>

#include "commands/FileCommands.h"
#include "commands/PrinterCommands.h"
#include "framework/FileDialog.h"
#include "mainwindow/QuillmarkDlg.h"
#include "raster/PictureFile.h"
#include "raster/RecordPicture.h"
#include "raster/SlotLabel.h"

namespace quillmark {
namespace {

// A check box shows '&' as the mark of its shortcut key; a file name is shown as it is.
std::string WithLiteralAmpersands(const std::string& text) {
  std::string shown;
  for (char c : text) {
    shown += c;
    if (c == '&') shown += '&';
  }
  return shown;
}

}  // namespace

void CQuillmarkDlg::OnDownLoad() {
  GuiCommandUi ui = CommandUiForSend();
  quillmark::OnDownLoad(appState, *portApi, ui);
}

void CQuillmarkDlg::OnPrint() {
  GuiCommandUi ui = CommandUiForSend();
  quillmark::OnPrint(appState, *portApi, ui);
}

void CQuillmarkDlg::OnPatch() {
  GuiCommandUi ui = CommandUiForSend();
  quillmark::OnPatch(appState, ui);
}

void CQuillmarkDlg::OnFile() {
  GuiCommandUi ui = CommandUiForSend();
  quillmark::OnFile(appState, ui);
}

void CQuillmarkDlg::OnBitmapCheck(int slot) {
  if (slot < 1 || slot > kSlotCount) return;
  CButton& box = slotChecks[static_cast<std::size_t>(slot - 1)];
  std::string label = SlotLabel(slot);
  // The box has already toggled itself: its state is what the user has just asked for.
  int mark = BST_UNCHECKED;
  std::string failure, fileName;
  std::optional<RecordPicture> printed;
  if (box.GetCheck() == BST_UNCHECKED) {
    appState.ReleaseSlot(slot);
  } else {
    auto& entry = appState.imageSlots[static_cast<std::size_t>(slot - 1)];
    entry = ConvertBitmapFile(label, kSlotLabelBudget, &failure, &fileName);
    if (entry) {
      mark = BST_CHECKED;
      printed = PictureOfRecord(entry->bytes());
    }
  }
  box.SetWindowText(WithLiteralAmpersands(label));
  box.SetCheck(mark);
  // A filled slot's tip shows the image as it prints and its size in dots. A picture that
  // gave no image shows no message; the tip says why, until the next click.
  if (printed) {
    box.SetToolTipText(fileName + ": " + std::to_string(printed->width) + " x " +
                           std::to_string(printed->height) + " dots",
                       printed->View());
  } else {
    box.SetToolTipText(failure);
  }
  UpdateMemoryGauge();
}

std::optional<ByteBlock> CQuillmarkDlg::ConvertBitmapFile(std::string& label, int budget,
                                                          std::string* failure,
                                                          std::string* fileName) {
  CFileDialog dialog(true, "BMP", {}, OFN_HIDEREADONLY,
                     "Bitmap Files (*.bmp)|*.bmp|All Files (*.*)|*.*||", this);
  lastPictureError = PictureError::kNone;
  if (dialog.DoModal() == IDCANCEL) return std::nullopt;

  // The path is UTF-8 (on Linux, the file system's bytes as they are).
  const std::string path = dialog.GetPathName();
  // BMP, PNG and JPEG pictures (the latter chosen under "All Files"), through the same
  // readers and conversion as the command line's.
  NvConversion conversion =
      ConvertPicture(std::filesystem::path(std::u8string(path.begin(), path.end())),
                     appState.widthBytes, pictureOptions);
  lastPictureError = conversion.error;
  if (!conversion.record) {
    if (failure != nullptr)
      *failure = dialog.GetFileName() + ": " +
                 DescribePictureFailure(conversion.error, conversion.systemError);
    return std::nullopt;
  }

  label = AppendFileNameToLabel(label, dialog.GetFileName(), budget);
  if (fileName != nullptr) *fileName = dialog.GetFileName();
  return std::move(conversion.record);
}

void CQuillmarkDlg::UpdateMemoryGauge() {
  std::int32_t total = 0;
  for (int slot = 1; slot <= kSlotCount; ++slot)
    if (const ByteBlock* image = appState.Slot(slot))
      total += static_cast<std::int32_t>(image->size());
  // The range is the capacity in KiB, of which the control takes 16 bits; a total above
  // it shows a full bar.
  memoryGauge.SetRange32(0, static_cast<int>((appState.nvCapacity >> 10) & 0xFFFFu));
  memoryGauge.SetPos(total / 1024);
}

}  // namespace quillmark
