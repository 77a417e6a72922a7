#include "framework/Controls.h"

#include <QAbstractButton>
#include <QBuffer>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

namespace quillmark {
namespace {

QString ToQt(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string FromQt(const QString& text) {
  return text.toUtf8().toStdString();
}

}  // namespace

int CWnd::GetDlgCtrlID() const {
  if (!widget_) return 0;
  return widget_->property(kControlIdProperty).toInt();
}

void CWnd::SetWindowText(const std::string& text) {
  if (!widget_) return;
  if (auto* button = qobject_cast<QAbstractButton*>(widget_)) {
    button->setText(ToQt(text));
  } else if (auto* label = qobject_cast<QLabel*>(widget_)) {
    label->setText(ToQt(text));
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget_)) {
    edit->setText(ToQt(text));
  } else if (widget_->isWindow()) {
    widget_->setWindowTitle(ToQt(text));
  }
}

std::string CWnd::GetWindowText() const {
  if (!widget_) return {};
  if (auto* button = qobject_cast<QAbstractButton*>(widget_)) return FromQt(button->text());
  if (auto* label = qobject_cast<QLabel*>(widget_)) return FromQt(label->text());
  if (auto* edit = qobject_cast<QLineEdit*>(widget_)) return FromQt(edit->text());
  if (widget_->isWindow()) return FromQt(widget_->windowTitle());
  return {};
}

void CWnd::SetToolTipText(const std::string& text) {
  if (widget_) widget_->setToolTip(ToQt(text));
}

void CWnd::SetToolTipText(const std::string& text, const MonoImageView& picture) {
  if (!widget_) return;
  if (picture.width <= 0 || picture.height <= 0) {
    SetToolTipText(text);
    return;
  }
  QImage image(picture.width, picture.height, QImage::Format_Mono);
  image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});  // a set bit is a black dot
  const auto rowBytes = static_cast<std::size_t>((picture.width + 7) / 8);
  for (int y = 0; y < picture.height; ++y)
    std::copy_n(picture.bits + static_cast<std::size_t>(y) * picture.stride, rowBytes,
                image.scanLine(y));
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  // Shown a pixel a dot where it fits, else scaled down to at most 512 x 384 pixels.
  const double scale = std::min({1.0, 512.0 / picture.width, 384.0 / picture.height});
  const int shownWidth = std::max(1, static_cast<int>(picture.width * scale));
  const int shownHeight = std::max(1, static_cast<int>(picture.height * scale));
  widget_->setToolTip(QStringLiteral("<qt><img src=\"data:image/png;base64,%1\" width=\"%2\" "
                                     "height=\"%3\"><br>%4</qt>")
                          .arg(QString::fromLatin1(png.toBase64()))
                          .arg(shownWidth)
                          .arg(shownHeight)
                          .arg(ToQt(text).toHtmlEscaped()));
}

std::string CWnd::GetToolTipText() const {
  return widget_ ? FromQt(widget_->toolTip()) : std::string();
}

bool CWnd::EnableWindow(bool enable) {
  if (!widget_) return false;
  const bool wasDisabled = !widget_->isEnabled();
  widget_->setEnabled(enable);
  return wasDisabled;
}

bool CWnd::IsWindowEnabled() const {
  return widget_ && widget_->isEnabled();
}

int CButton::GetCheck() const {
  auto* button = qobject_cast<QAbstractButton*>(widget_);
  return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int check) {
  auto* button = qobject_cast<QAbstractButton*>(widget_);
  if (button && button->isCheckable()) button->setChecked(check != BST_UNCHECKED);
}

int CComboBox::GetCurSel() const {
  auto* combo = qobject_cast<QComboBox*>(widget_);
  return combo ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int index) {
  auto* combo = qobject_cast<QComboBox*>(widget_);
  if (!combo) return CB_ERR;
  if (index < 0 || index >= combo->count()) {
    combo->setCurrentIndex(-1);
    return CB_ERR;
  }
  combo->setCurrentIndex(index);
  return index;
}

int CComboBox::AddString(const std::string& text) {
  auto* combo = qobject_cast<QComboBox*>(widget_);
  if (!combo) return CB_ERR;
  combo->addItem(ToQt(text));
  return combo->count() - 1;
}

int CComboBox::GetCount() const {
  auto* combo = qobject_cast<QComboBox*>(widget_);
  return combo ? combo->count() : 0;
}

std::string CComboBox::GetLBText(int index) const {
  auto* combo = qobject_cast<QComboBox*>(widget_);
  if (!combo || index < 0 || index >= combo->count()) return {};
  return FromQt(combo->itemText(index));
}

void CProgressCtrl::SetRange32(int lower, int upper) {
  if (auto* bar = dynamic_cast<ProgressBarControl*>(widget_.data()))
    bar->SetControlRange(lower, upper);
}

void CProgressCtrl::GetRange(int& lower, int& upper) const {
  lower = upper = 0;
  if (auto* bar = dynamic_cast<ProgressBarControl*>(widget_.data())) {
    lower = bar->ControlLower();
    upper = bar->ControlUpper();
  }
}

int CProgressCtrl::SetPos(int pos) {
  auto* bar = dynamic_cast<ProgressBarControl*>(widget_.data());
  return bar ? bar->SetControlPos(pos) : 0;
}

int CProgressCtrl::GetPos() const {
  auto* bar = dynamic_cast<ProgressBarControl*>(widget_.data());
  return bar ? bar->ControlPos() : 0;
}

ProgressBarControl::ProgressBarControl(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  Show(true);
}

void ProgressBarControl::SetControlRange(int lower, int upper) {
  lower_ = lower;
  upper_ = upper;
  pos_ = upper_ > lower_ ? std::clamp(pos_, lower_, upper_) : lower_;
  Show(true);
}

int ProgressBarControl::SetControlPos(int pos) {
  const int old = pos_;
  pos_ = upper_ > lower_ ? std::clamp(pos, lower_, upper_) : lower_;
  Show(false);
  return old;
}

void ProgressBarControl::Show(bool rangeChanged) {
  // QProgressBar turns an empty range into a busy animation; a progress control shows an
  // empty bar instead.
  if (upper_ > lower_) {
    setRange(lower_, upper_);
    setValue(pos_);
  } else {
    setRange(0, 1);
    setValue(0);
  }
  // setValue repaints at once whenever the fill moves by a visible amount, so the bar
  // keeps up while the caller holds the UI thread; a new range is painted at once too.
  if (rangeChanged && isVisible()) repaint();
}

}  // namespace quillmark
