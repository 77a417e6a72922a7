#include "Snapshot.h"

#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionTitleBar>

namespace quillmark {

QImage FramedSnapshot(QWidget& window) {
  const QPixmap client = window.grab();
  QStyle* style = window.style();

  QStyleOptionTitleBar titleBar;
  titleBar.initFrom(&window);
  titleBar.text = window.windowTitle();
  // Only a window that set an icon of its own shows one; dialogs with a modal frame
  // have none.
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
  return image;
}

}  // namespace quillmark
