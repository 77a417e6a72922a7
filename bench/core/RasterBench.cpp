// Whole-process time and peak memory of converting large BMP and PNG files into NV images,
// plainly (the default threshold) and with Floyd-Steinberg and Atkinson dithering.
//
// Writes its inputs into a temporary folder, then runs itself once per measurement as a
// child process ("--convert FILE WIDTHBYTES DITHER"), timing it from fork to exit and reading
// its peak resident set from wait4. Baselines on the same machine: a process that does
// nothing and one that only reads the whole file.
//
//   bench_raster [--runs N]     N runs per case (default 9); the median time is reported

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <spng.h>

#include "raster/PictureFile.h"

namespace {

namespace fs = std::filesystem;

void Put16(std::vector<char>& out, std::size_t at, std::uint32_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::vector<char>& out, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i)
    out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A bottom-up BMP of `bitCount` 8 or 24 with a picture that has detail everywhere: soft
// gradients crossed by a fine pattern, so about half the dots are dark.
void WriteBmp(const fs::path& path, std::int32_t w, std::int32_t h, int bitCount) {
  const std::uint32_t paletteBytes = bitCount == 8 ? 1024 : 0;
  const std::uint64_t stride = (static_cast<std::uint64_t>(w) * bitCount + 31) / 32 * 4;
  const std::uint32_t offBits = 54 + paletteBytes;
  std::vector<char> head(offBits, 0);
  head[0] = 'B';
  head[1] = 'M';
  Put32(head, 2, static_cast<std::uint32_t>(offBits + stride * static_cast<std::uint64_t>(h)));
  Put32(head, 10, offBits);
  Put32(head, 14, 40);
  Put32(head, 18, static_cast<std::uint32_t>(w));
  Put32(head, 22, static_cast<std::uint32_t>(h));
  Put16(head, 26, 1);
  Put16(head, 28, static_cast<std::uint32_t>(bitCount));
  for (std::uint32_t i = 0; i < paletteBytes / 4; ++i) {
    head[54 + 4 * i] = static_cast<char>((i * 37) & 0xFF);   // blue
    head[55 + 4 * i] = static_cast<char>(i);                 // green
    head[56 + 4 * i] = static_cast<char>((255 - i) & 0xFF);  // red
  }
  std::ofstream out(path, std::ios::binary);
  out.write(head.data(), static_cast<std::streamsize>(head.size()));
  std::vector<char> row(stride, 0);
  for (std::int32_t s = 0; s < h; ++s) {
    for (std::int32_t c = 0; c < w; ++c) {
      const int v = ((c / 7 + s / 5) % 64) * 4 + ((c ^ s) & 3);
      if (bitCount == 8) {
        row[static_cast<std::size_t>(c)] = static_cast<char>(v & 0xFF);
      } else {
        char* p = &row[static_cast<std::size_t>(c) * 3];
        p[0] = static_cast<char>((v * 3) & 0xFF);
        p[1] = static_cast<char>(v & 0xFF);
        p[2] = static_cast<char>((c + s) & 0xFF);
      }
    }
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
}

// The same picture as WriteBmp's 24-bit one, as an RGB PNG (zlib level 1, as a quick
// encoder would write it).
void WritePng(const fs::path& path, std::int32_t w, std::int32_t h) {
  spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  spng_ihdr ihdr{static_cast<std::uint32_t>(w),
                 static_cast<std::uint32_t>(h),
                 8,
                 SPNG_COLOR_TYPE_TRUECOLOR,
                 0,
                 0,
                 0};
  spng_set_png_file(ctx, file);
  spng_set_ihdr(ctx, &ihdr);
  spng_set_option(ctx, SPNG_IMG_COMPRESSION_LEVEL, 1);
  spng_encode_image(ctx, nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
  for (std::int32_t r = 0; r < h; ++r) {
    const std::int32_t s = h - 1 - r;  // WriteBmp's stored row s is displayed row h - 1 - s
    for (std::int32_t c = 0; c < w; ++c) {
      const int v = ((c / 7 + s / 5) % 64) * 4 + ((c ^ s) & 3);
      std::uint8_t* p = &row[static_cast<std::size_t>(c) * 3];
      p[0] = static_cast<std::uint8_t>((c + s) & 0xFF);
      p[1] = static_cast<std::uint8_t>(v & 0xFF);
      p[2] = static_cast<std::uint8_t>((v * 3) & 0xFF);
    }
    spng_encode_row(ctx, row.data(), row.size());
  }
  spng_ctx_free(ctx);
  std::fclose(file);
}

struct Sample {
  double ms = 0;     // wall time, fork to exit
  double cpuMs = 0;  // user and system time of the child: what the machine's load leaves alone
  long maxRssKb = 0;
  bool ok = false;
};

Sample RunChild(const std::string& self, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::vector<std::string> all = {self};
  all.insert(all.end(), args.begin(), args.end());
  for (auto& a : all)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(self.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  Sample s;
  s.ms = std::chrono::duration<double, std::milli>(end - start).count();
  s.maxRssKb = usage.ru_maxrss;
  auto toMs = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
  };
  s.cpuMs = toMs(usage.ru_utime) + toMs(usage.ru_stime);
  s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return s;
}

int ChildConvert(const char* path, const char* widthBytes, const char* dither) {
  quillmark::ConversionOptions options;
  options.dither = quillmark::ParseDither(dither).value_or(quillmark::Dither::kNone);
  const auto result = quillmark::ConvertPicture(path, std::atoi(widthBytes), options);
  return result.record ? 0 : 1;
}

int ChildRead(const char* path) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return 1;
  std::vector<char> buffer(1 << 20);
  unsigned sum = 0;
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0)
    sum += static_cast<unsigned char>(buffer[n - 1]);
  std::fclose(f);
  return sum == 0xFFFFFFFFu ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--convert") == 0)
    return ChildConvert(argv[2], argv[3], argv[4]);
  if (argc == 3 && std::strcmp(argv[1], "--read") == 0) return ChildRead(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "--noop") == 0) return 0;
  int runs = 9;
  if (argc == 3 && std::strcmp(argv[1], "--runs") == 0) runs = std::max(1, std::atoi(argv[2]));

  const std::string self = fs::canonical("/proc/self/exe").string();
  std::random_device seed;
  const fs::path dir = fs::temp_directory_path() / ("quillmark-bench-" + std::to_string(seed()));
  fs::create_directories(dir);
  struct Input {
    const char* name;
    std::int32_t w, h;
    int bitCount;  // 0: a PNG
    std::int32_t widthBytes;
    bool dithered;  // also measured with Floyd-Steinberg and Atkinson
  };
  const Input inputs[] = {
      {"10000 x 3000, 24-bit, cropped to 8184 x 2304", 10000, 3000, 24, 0, true},
      {"10000 x 3000 PNG, RGB, cropped to 8184 x 2304", 10000, 3000, 0, 0, true},
      {"8184 x 2304, 8-bit palette", 8184, 2304, 8, 0, false},
      {"576 x 200 logo, 24-bit", 576, 200, 24, 72, false},
  };
  std::printf(
      "Medians of %d runs; wall time from fork to exit, CPU time = user + system.\n\n"
      "| picture | file | conversion | convert: wall ms | convert: CPU ms | CPU vs. plain | peak "
      "RSS | read whole file: wall ms | read whole file: CPU ms | empty process: wall ms |\n"
      "|---|---|---|---|---|---|---|---|---|---|\n",
      runs);
  int failures = 0;
  for (const Input& in : inputs) {
    const fs::path file = dir / (in.bitCount == 0 ? "input.png" : "input.bmp");
    if (in.bitCount == 0) {
      WritePng(file, in.w, in.h);
    } else {
      WriteBmp(file, in.w, in.h, in.bitCount);
    }
    const std::string wb = std::to_string(in.widthBytes);
    struct Result {
      double wall, cpu;
      long rssKb;
    };
    auto measure = [&](const std::vector<std::string>& args) {
      RunChild(self, args);  // warm the page cache
      std::vector<double> walls, cpus;
      long worstRss = 0;
      for (int i = 0; i < runs; ++i) {
        const Sample s = RunChild(self, args);
        if (!s.ok) ++failures;
        walls.push_back(s.ms);
        cpus.push_back(s.cpuMs);
        worstRss = std::max(worstRss, s.maxRssKb);
      }
      std::sort(walls.begin(), walls.end());
      std::sort(cpus.begin(), cpus.end());
      return Result{walls[walls.size() / 2], cpus[cpus.size() / 2], worstRss};
    };
    const Result read = measure({"--read", file.string()});
    const Result noop = measure({"--noop"});
    double plainCpu = 0;
    for (const char* dither : {"none", "floyd-steinberg", "atkinson"}) {
      if (!in.dithered && std::strcmp(dither, "none") != 0) continue;
      const Result convert = measure({"--convert", file.string(), wb, dither});
      if (plainCpu == 0) plainCpu = convert.cpu;
      std::printf("| %s | %.1f MB | %s | %.1f | %.1f | %.2f | %.1f MB | %.1f | %.1f | %.1f |\n",
                  in.name, static_cast<double>(fs::file_size(file)) / 1e6,
                  std::strcmp(dither, "none") == 0 ? "plain threshold" : dither, convert.wall,
                  convert.cpu, convert.cpu / plainCpu, static_cast<double>(convert.rssKb) / 1024.0,
                  read.wall, read.cpu, noop.wall);
      std::fflush(stdout);
    }
    fs::remove(file);
  }
  fs::remove_all(dir);
  if (failures != 0) std::fprintf(stderr, "%d runs failed\n", failures);
  return failures == 0 ? 0 : 1;
}
