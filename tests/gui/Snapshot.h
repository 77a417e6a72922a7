#pragma once

#include <QImage>
#include <QWidget>

namespace quillmark {

// A picture of a window as a desktop shows it: the client area as the window paints it,
// under a title bar drawn by the current style with the window's caption, icon and close
// box, inside a thin frame. The offscreen platform has no window manager to draw these.
QImage FramedSnapshot(QWidget& window);

}  // namespace quillmark
