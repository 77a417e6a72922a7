#include "res/Icons.h"

#include <charconv>
#include <cstdio>
#include <map>
#include <string_view>

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

std::optional<IconPixels> DecodeIconImage(std::span<const char* const> xpm) {
  IconPixels image;
  int colours = 0;
  int charsPerPixel = 0;
  if (xpm.empty() ||
      std::sscanf(xpm[0], "%d %d %d %d", &image.width, &image.height, &colours, &charsPerPixel) !=
          4 ||
      image.width <= 0 || image.height <= 0 || colours <= 0 || charsPerPixel <= 0 ||
      xpm.size() != 1 + static_cast<std::size_t>(colours) + static_cast<std::size_t>(image.height))
    return std::nullopt;
  const auto cpp = static_cast<std::size_t>(charsPerPixel);
  std::map<std::string_view, std::optional<std::uint32_t>> palette;
  for (int i = 1; i <= colours; ++i) {
    const std::string_view line(xpm[static_cast<std::size_t>(i)]);
    if (line.size() < cpp + 4 || line.substr(cpp, 3) != " c ") return std::nullopt;
    const std::string_view value = line.substr(cpp + 3);
    std::uint32_t rgb = 0;
    if (value == "None") {
      palette[line.substr(0, cpp)] = std::nullopt;
    } else if (value.size() == 7 && value[0] == '#' &&
               std::from_chars(value.data() + 1, value.data() + 7, rgb, 16).ptr ==
                   value.data() + 7) {
      palette[line.substr(0, cpp)] = rgb;
    } else {
      return std::nullopt;
    }
  }
  for (int row = 0; row < image.height; ++row) {
    const std::string_view line(xpm[1 + static_cast<std::size_t>(colours + row)]);
    if (line.size() != cpp * static_cast<std::size_t>(image.width)) return std::nullopt;
    for (std::size_t x = 0; x < line.size(); x += cpp) {
      const auto colour = palette.find(line.substr(x, cpp));
      if (colour == palette.end()) return std::nullopt;
      image.pixels.push_back(colour->second);
    }
  }
  return image;
}

}  // namespace quillmark
