// Renders each of the four dialogs, as it opens, to a PNG in the build folder
// (screenshots/), so the windows can be looked at without a display. docs/images holds
// copies of these pictures.

#include <QDir>
#include <QImage>

#include "GuiTest.h"
#include "Snapshot.h"
#include "app/PortSettings.h"
#include "app/QuillmarkDlg.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/PortSettingDlg.h"
#include "dialogs/TargetPrinterDlg.h"
#include "res/Resource.h"

namespace quillmark {
namespace {

class Screenshots : public GuiTest {
 protected:
  // Saves the dialog's picture and checks it shows a window of the dialog's size, with
  // every control inside the window and every caption as wide as its control allows.
  static void Save(CDialog& dialog, const char* name) {
    for (QWidget* control : dialog.findChildren<QWidget*>()) {
      if (!control->property(kControlIdProperty).isValid()) continue;
      SCOPED_TRACE(control->objectName().toStdString());
      EXPECT_TRUE(dialog.rect().contains(control->geometry()));
      if (control->inherits("QAbstractButton") || control->inherits("QLabel")) {
        EXPECT_LE(control->sizeHint().width(), control->width());
      }
    }
    const QString folder = QStringLiteral(QUILLMARK_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QImage image = FramedSnapshot(dialog);
    EXPECT_GT(image.width(), dialog.width());
    EXPECT_GT(image.height(), dialog.height());
    const QString path = folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png");
    EXPECT_TRUE(image.save(path)) << path.toStdString();
  }
};

TEST_F(Screenshots, MainWindowAndTargetPrinter) {
  testhook::QueueDialogAction(IDD_TARGET_PRINTER, [](CDialog& dialog) {
    Save(dialog, "target-printer");
    dialog.EndDialog(IDOK);
  });
  testhook::QueueDialogAction(IDD_QUILLMARK_DIALOG, [](CDialog& dialog) {
    Save(dialog, "main-window");
    dialog.EndDialog(IDOK);
  });
  CQuillmarkDlg dialog;
  dialog.DoModal();
}

TEST_F(Screenshots, PortSetting) {
  testhook::QueueDialogAction(IDD_PORT_SETTING, [](CDialog& dialog) {
    Save(dialog, "port-setting");
    dialog.EndDialog(IDCANCEL);
  });
  PortSettings settings;
  CPortSettingDlg dialog(&settings);
  dialog.DoModal();
}

TEST_F(Screenshots, About) {
  testhook::QueueDialogAction(IDD_ABOUTBOX, [](CDialog& dialog) {
    Save(dialog, "about");
    dialog.EndDialog(IDOK);
  });
  CAboutDlg dialog;
  dialog.DoModal();
}

}  // namespace
}  // namespace quillmark
