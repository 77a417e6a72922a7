// Renders each of the four dialogs, as it opens, to a PNG in build/<preset>/screenshots;
// docs/images holds copies of these pictures.

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTitleBar>

#include "GuiTest.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/PictureSettingsDlg.h"
#include "dialogs/PortSettingDlg.h"

namespace quillmark {
namespace {

// Checks that every control lies inside the dialog and every caption fits its control,
// and saves a picture of the dialog as a desktop shows it: the client area under a title
// bar drawn by the style with the caption, the icon (only of a window that set one) and
// the close box, inside a thin frame. The offscreen platform has no window manager.
void Save(CDialog& window, const char* name) {
  for (QWidget* control : window.findChildren<QWidget*>()) {
    if (!control->property(kControlIdProperty).isValid()) continue;
    const std::string id = control->objectName().toStdString();
    EXPECT_TRUE(window.rect().contains(control->geometry())) << id;
    if (control->inherits("QAbstractButton") || control->inherits("QLabel")) {
      EXPECT_LE(control->sizeHint().width(), control->width()) << id;
    }
  }
  const QPixmap client = window.grab();
  QStyle* style = window.style();
  QStyleOptionTitleBar titleBar;
  titleBar.initFrom(&window);
  titleBar.text = window.windowTitle();
  const bool hasIcon = window.testAttribute(Qt::WA_SetWindowIcon);
  if (hasIcon) titleBar.icon = window.windowIcon();
  titleBar.titleBarFlags =
      Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  titleBar.titleBarState = Qt::WindowActive;
  titleBar.state |= QStyle::State_Active;
  titleBar.subControls = QStyle::SC_TitleBarLabel | QStyle::SC_TitleBarCloseButton;
  if (hasIcon) titleBar.subControls |= QStyle::SC_TitleBarSysMenu;
  const int titleHeight = style->pixelMetric(QStyle::PM_TitleBarHeight, &titleBar, &window);
  constexpr int kBorder = 1;
  QImage image(client.width() + 2 * kBorder, client.height() + titleHeight + 2 * kBorder,
               QImage::Format_ARGB32_Premultiplied);
  image.fill(window.palette().color(QPalette::Window));
  QPainter painter(&image);
  titleBar.rect = QRect(kBorder, kBorder, client.width(), titleHeight);
  style->drawComplexControl(QStyle::CC_TitleBar, &titleBar, &painter, &window);
  painter.drawPixmap(kBorder, kBorder + titleHeight, client);
  painter.setPen(window.palette().color(QPalette::Dark));
  painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
  painter.end();
  const QString folder = QStringLiteral(QUILLMARK_SCREENSHOT_DIR);
  ASSERT_TRUE(QDir().mkpath(folder));
  const QString path = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
  EXPECT_TRUE(image.save(path)) << path.toStdString();
}

TEST_F(GuiTest, Screenshots) {
  const std::pair<int, const char*> shots[] = {{IDD_TARGET_PRINTER, "target-printer"},
                                               {IDD_QUILLMARK_DIALOG, "main-window"},
                                               {IDD_PORT_SETTING, "port-setting"},
                                               {IDD_ABOUTBOX, "about"},
                                               {IDD_PICTURE_SETTINGS, "picture-settings"}};
  for (const auto& [id, name] : shots) {
    testhook::QueueDialogAction(id, [name = name](CDialog& dialog) {
      Save(dialog, name);
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
