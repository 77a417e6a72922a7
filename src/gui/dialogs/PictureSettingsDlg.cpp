#include "dialogs/PictureSettingsDlg.h"

#include <array>
#include <charconv>
#include <optional>
#include <string>

#include "res/Resource.h"

namespace quillmark {
namespace {

// The entries of the two lists, in template order.
constexpr std::array<Dither, 4> kDitherEntries = {Dither::kNone, Dither::kFloydSteinberg,
                                                  Dither::kAtkinson, Dither::kOrdered};
constexpr std::array<int, 4> kRotateEntries = {0, 90, 180, 270};

template <class T, std::size_t N>
int IndexOf(const std::array<T, N>& entries, T value) {
  for (std::size_t i = 0; i < N; ++i)
    if (entries[i] == value) return static_cast<int>(i);
  return CB_ERR;
}

// The list's entry; `current` when it shows none.
template <class T, std::size_t N>
T EntryOr(const CComboBox& list, const std::array<T, N>& entries, T current) {
  const int selection = list.GetCurSel();
  return selection >= 0 && selection < static_cast<int>(N)
             ? entries[static_cast<std::size_t>(selection)]
             : current;
}

// The field's number when it is a whole number 0 to 255 and nothing else.
std::optional<int> ParseThreshold(const std::string& text) {
  int value = -1;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || rest != end || value < 0 || value > 255) return std::nullopt;
  return value;
}

}  // namespace

CPictureSettingsDlg::CPictureSettingsDlg(ConversionOptions* record, CDialog* parent)
    : CDialog(IDD_PICTURE_SETTINGS, parent), options(record) {}

void CPictureSettingsDlg::DoDataExchange(CDataExchange& dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_THRESHOLD, thresholdEdit);
  DDX_Control(dx, IDC_DITHER_LIST, ditherCombo);
  DDX_Control(dx, IDC_ROTATE_LIST, rotateCombo);
  DDX_Control(dx, IDC_INVERT, invertCheck);
  DDX_Control(dx, IDC_FIT, fitCheck);
}

bool CPictureSettingsDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  thresholdEdit.SetWindowText(std::to_string(options->threshold));
  ditherCombo.SetCurSel(IndexOf(kDitherEntries, options->dither));
  rotateCombo.SetCurSel(IndexOf(kRotateEntries, options->rotate));
  invertCheck.SetCheck(options->invert ? BST_CHECKED : BST_UNCHECKED);
  fitCheck.SetCheck(options->fit ? BST_CHECKED : BST_UNCHECKED);
  return true;
}

void CPictureSettingsDlg::OnOK() {
  const std::optional<int> threshold = ParseThreshold(thresholdEdit.GetWindowText());
  if (!threshold) {
    MessageBox(kThresholdRangeText, "Picture Settings", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  ConversionOptions chosen = *options;
  chosen.threshold = *threshold;
  chosen.dither = EntryOr(ditherCombo, kDitherEntries, options->dither);
  chosen.rotate = EntryOr(rotateCombo, kRotateEntries, options->rotate);
  chosen.invert = invertCheck.GetCheck() != BST_UNCHECKED;
  chosen.fit = fitCheck.GetCheck() != BST_UNCHECKED;
  *options = chosen;
  CDialog::OnOK();
}

}  // namespace quillmark
