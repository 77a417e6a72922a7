#include "res/Icons.h"

#include "res/Resource.h"

namespace quillmark {
namespace {

// The application icon: a receipt with a printed logo leaving a printer, and a quill.
// XPM images of 16 colours at most (the VGA palette) with transparent corners, so that
// they stay true to a 16-colour icon resource.
const char* const kAppIcon32[] = {
    "32 32 9 1",
    "  c None",
    "# c #808080",
    "+ c #C0C0C0",
    ". c #000000",
    "B c #0000FF",
    "L c #00FF00",
    "c c #00FFFF",
    "n c #000080",
    "w c #FFFFFF",
    "                            BBB ",
    "          ++  ++  ++  ++   BBnnc",
    "        +wwwwwwwwwwwwww+  BBnncc",
    "        +wwwwwwwwwwwwww+ BBBnccc",
    "        +w.....wwwwwwww+ BBncccc",
    "        +w.www.w++++++w+BBnnccc ",
    "        +w.w.w.wwwwwwwwBBnnccc  ",
    "        +w.www.w+++++wwBnnccc   ",
    "        +w.....wwwwwwwBnnccc    ",
    "        +wwwwwwwwwwwwwnnccc     ",
    "        +wwwwwwwwwwwwBncc       ",
    "        +w++++++++++Bnnc        ",
    "        +wwwwwwwwwwwnnw+        ",
    "        +wwwwwwwwwwnnww+        ",
    "        +w++++++++nn++w+        ",
    "        +wwwwwwww.nwwww+        ",
    "        +wwwwwwww.wwwww+        ",
    "        +wwwwwwww.wwwww+        ",
    "  ............................  ",
    "  .+++....................+++.  ",
    "  .++++++++++++++++++++++++++.  ",
    "  .++++++++++++++++++++++++++.  ",
    "  .##########################.  ",
    "  .##########################.  ",
    "  .####################LLL###.  ",
    "  .##+++++++++#########LLL###.  ",
    "  .##########################.  ",
    "  .##+++++++++###############.  ",
    "  .##########################.  ",
    "  ............................  ",
    "                                ",
    "                                ",
};

const char* const kAppIcon16[] = {
    "16 16 9 1",        "  c None",         "# c #808080",      "+ c #C0C0C0",
    ". c #000000",      "B c #0000FF",      "L c #00FF00",      "c c #00FFFF",
    "n c #000080",      "w c #FFFFFF",      "            Bcc ", "    +wwwwww+Bcc ",
    "    +w..wwwBBc  ", "    +w..++wBc   ", "    +wwwwwBnc   ", "    +w++++n+    ",
    "    +wwwwnww+   ", "    +wwww.ww+   ", "    +wwww.ww+   ", " .............. ",
    " .++........++. ", " .++++++++++++. ", " .############. ", " .#+++####LL##. ",
    " .############. ", " .............. ",
};

const IconResource kAppIcon = {kAppIcon32, kAppIcon16};

}  // namespace

const IconResource* FindIconResource(int id) noexcept {
  return id == IDR_MAINFRAME ? &kAppIcon : nullptr;
}

}  // namespace quillmark
