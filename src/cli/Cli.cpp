#include "cli/Cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>

#include "cli/Platform.h"
#include "state/ServiceCode.h"

#ifndef QUILLMARK_VERSION
#error "QUILLMARK_VERSION must be defined by the build"
#endif

namespace quillmark::cli {
namespace {

constexpr const char* kProgram = "quillmark-cli";

const char* const kToolFooter = R"(Exit status: 0 done, 1 the job failed, 2 a usage error.

Examples:
  quillmark-cli convert logo.bmp -o logo.rec --preview logo.png
  quillmark-cli export -o logos.bin --slot 1=logo.bmp --slot 2=coupon.bmp --model A4
  quillmark-cli download --slot 1=logo.bmp --port /dev/usb/lp0
  quillmark-cli print-test --port tcp:192.168.1.50:9100
  quillmark-cli render logos.bin -o sheet.png
  quillmark-cli ports

Run 'quillmark-cli help COMMAND' or 'quillmark-cli COMMAND --help' for the options of a command.
)";

// A usage error found after parsing: the same form as the parser's own.
int Usage(Io& io, const std::string& command, const std::string& message) {
  io.err << kProgram << ' ' << command << ": " << message << "\nRun '" << kProgram << ' ' << command
         << " --help' for more information.\n";
  return kExitUsage;
}

// How every picture of a command is converted: --threshold, --dither, --invert, --fit,
// --rotate.
void AddPictureOptions(CLI::App& command, PictureChoice& choice) {
  command
      .add_option("--threshold", choice.threshold,
                  "Grey level 0-255 below which a dot is dark (default 128); with --dither, "
                  "the level the dithering is centred on")
      ->type_name("N");
  command
      .add_option("--dither", choice.dither,
                  "Spread grey levels over the dots: floyd-steinberg, atkinson or ordered (8x8 "
                  "Bayer); default none, a plain threshold")
      ->type_name("METHOD");
  command.add_flag("--invert", choice.invert, "Print the negative: light parts dark");
  command.add_flag("--fit", choice.fit,
                   "Scale the picture to the print width keeping its shape, or smaller so that "
                   "it is at most 2304 dots tall (area averaging)");
  command.add_option("--rotate", choice.rotate, "Turn the picture clockwise first: 90, 180 or 270")
      ->type_name("DEGREES");
}

// Options every command that builds a definition stream takes.
struct SlotOptions {
  PictureChoice picture;
  std::vector<std::string> slots;
  std::string model = std::string(kDefaultModel);
  std::string mode = "esc";
  bool quiet = false;
};

void AddSlotOptions(CLI::App& command, SlotOptions& options, bool withSlots, bool withModel) {
  if (withSlots) {
    command
        .add_option("--slot", options.slots,
                    "The picture (BMP, PNG or JPEG) for image slot N, 1 to 10; once for each "
                    "slot. Slots not named hold a blank image")
        ->type_name("N=PICTURE")
        ->allow_extra_args(false);
    AddPictureOptions(command, options.picture);
  }
  if (withModel) {
    command
        .add_option("--model", options.model,
                    "Target printer: A2 (default), A4, B1 or W4 (NV memory and print width), or "
                    "none (no model: pictures cropped at 8184 dots)")
        ->type_name("MODEL");
  }
  command
      .add_option("--mode", options.mode,
                  "Command mode: esc (ESC-prefixed, BRIX mode; the default) or plain")
      ->type_name("MODE");
  command.add_flag("-q,--quiet", options.quiet, "Print nothing but errors");
}

std::optional<SlotsJob> SlotsJobFrom(const SlotOptions& options, Io& io,
                                     const std::string& command) {
  std::string error;
  SlotsJob job;
  std::optional<SlotPaths> slots = CollectSlots(options.slots, error);
  if (slots && std::count(slots->begin(), slots->end(), std::string(kStandardStream)) > 1) {
    error = "standard input (-) holds one picture; give it to one slot only";
    slots.reset();
  }
  const std::optional<ModelChoice> model =
      slots ? ParseModel(options.model, true, error) : std::nullopt;
  const std::optional<std::int32_t> mode = model ? ParseMode(options.mode, error) : std::nullopt;
  const std::optional<ConversionOptions> picture =
      mode ? ConversionOptionsFor(options.picture, error) : std::nullopt;
  if (!picture) {
    Usage(io, command, error);
    return std::nullopt;
  }
  job.slots = *slots;
  job.model = *model;
  job.brixMode = *mode;
  job.options = *picture;
  job.quiet = options.quiet;
  return job;
}

// The port and line options of download and print-test.
struct PortOptions {
  std::string port = "LPT1";
  std::string portType;
  unsigned baud = 9600;
  int dataBits = 8;
  std::string parity = "none";
  int stopBits = 1;
  int retries = 0;
  double retryDelay = 2;
  bool ignoreStatus = false;
  CLI::Option* portOption = nullptr;
  CLI::Option* retriesOption = nullptr;
  std::vector<CLI::Option*> serialOptions;
};

void AddPortOptions(CLI::App& command, PortOptions& options) {
  options.portOption =
      command
          .add_option("--port", options.port,
                      "LPT1-LPT4, COM1-COM4 (where the port map leads them), a device path "
                      "(/dev/usb/lp0, /dev/ttyUSB0, /dev/serial/by-id/..., a FIFO) or "
                      "tcp:HOST[:PORT] for a network printer's raw port (9100 when not given). "
                      "Default: $QUILLMARK_PORT, else LPT1. A regular file is no port: see "
                      "export -o and print-test -o")
          ->type_name("PORT");
  command
      .add_option("--port-type", options.portType,
                  "parallel or serial: the set-up, whatever the device is (by default a "
                  "terminal is serial, a printer device or anything else parallel)")
      ->type_name("TYPE");
  command.add_flag("--ignore-status", options.ignoreStatus,
                   "Send without asking the printer whether it is ready, for printers that "
                   "answer 0 to every status request");
  options.serialOptions = {
      command
          .add_option("--baud", options.baud,
                      "Serial speed in bits per second: 9600 (default), 19200, 38400, 57600, "
                      "115200 or any other standard rate the device takes")
          ->type_name("BPS"),
      command.add_option("--data-bits", options.dataBits, "Serial data bits: 7 or 8 (default)")
          ->type_name("N"),
      command.add_option("--parity", options.parity, "Serial parity: none (default), odd or even")
          ->type_name("PARITY"),
      command.add_option("--stop-bits", options.stopBits, "Serial stop bits: 1 (default) or 2")
          ->type_name("N"),
  };
  options.retriesOption =
      command
          .add_option("--retries", options.retries,
                      "Attempts after a failed one (default 0; without this option, when "
                      "standard input is a terminal, the tool asks)")
          ->type_name("N");
  command
      .add_option("--retry-delay", options.retryDelay,
                  "Seconds to wait before each retry (default 2; fractions allowed), time for "
                  "a printer to be switched on or given paper")
      ->type_name("SECONDS");
}

std::optional<SendJob> SendJobFrom(const SlotOptions& slotOptions, const PortOptions& options,
                                   Io& io, const std::string& command) {
  std::optional<SlotsJob> slots = SlotsJobFrom(slotOptions, io, command);
  if (!slots) return std::nullopt;
  std::string error;
  std::optional<LineKind> forced;
  if (!options.portType.empty()) {
    forced = ParseLineKind(options.portType, error);
    if (!forced) {
      Usage(io, command, error);
      return std::nullopt;
    }
  }
  // Without --port, the environment's default port, else LPT1.
  std::string port = options.port;
  std::string from;
  if (const char* preset = std::getenv("QUILLMARK_PORT");
      options.portOption->count() == 0 && preset != nullptr && *preset != '\0') {
    port = preset;
    from = " (from QUILLMARK_PORT)";
  }
  std::optional<PortTarget> target = ParsePortTarget(port, forced, error);
  if (!target) {
    Usage(io, command, error + from);
    return std::nullopt;
  }
  target->ignoreStatus = options.ignoreStatus;
  ResolvePortTarget(*target);
  // A file or a disk would be overwritten by the stream: refused before it is opened.
  if (const std::string refusal = PortRefusal(*target); !refusal.empty()) {
    Usage(io, command, "--port " + port + from + ": " + refusal);
    return std::nullopt;
  }
  const std::optional<std::int64_t> delay = ParseRetryDelay(options.retryDelay, error);
  if (!delay) {
    Usage(io, command, error);
    return std::nullopt;
  }
  const SerialChoice choice{options.baud, options.dataBits, options.parity, options.stopBits};
  const std::optional<PortSettings> serial = SerialSettingsFor(choice, error);
  if (!serial) {
    Usage(io, command, error);
    return std::nullopt;
  }
  if (target->line == LineKind::kParallel && !slotOptions.quiet) {
    for (const CLI::Option* option : options.serialOptions) {
      if (option->count() != 0) {
        io.err << "warning: " << option->get_name() << " applies to serial ports only; " << port
               << " takes the parallel set-up\n";
      }
    }
  }
  SendJob job;
  job.slots = std::move(*slots);
  job.port = *target;
  job.serial = *serial;
  job.retryDelayMs = *delay;
  if (options.retriesOption->count() != 0) {
    if (options.retries < 0) {
      Usage(
          io, command,
          "--retries " + std::to_string(options.retries) + ": the number of retries is 0 or more");
      return std::nullopt;
    }
    job.retries = static_cast<unsigned>(options.retries);
  }
  return job;
}

// A subcommand: where the parser records that it was given, and what runs it once its
// options are parsed (they live as long as `run` does).
struct Command {
  CLI::App* app;
  std::function<int()> run;
};

Command AddConvert(CLI::App& app, Io& io) {
  struct Options {
    ConvertJob job;
    std::string model = std::string(kDefaultModel);
    PictureChoice picture;
  };
  auto options = std::make_shared<Options>();
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert one picture into an NV image record: the 4-byte header and the raster");
  convert
      ->add_option("PICTURE", options->job.picture,
                   "The picture: BMP, PNG or JPEG; - reads it from standard input")
      ->required();
  convert
      ->add_option("-o,--output", options->job.output,
                   "The record file to write; - writes to standard output")
      ->required()
      ->type_name("FILE");
  convert
      ->add_option("--preview", options->job.preview,
                   "Also write the image as a PNG, one pixel a dot, as it will print")
      ->type_name("PNG");
  convert
      ->add_option("--model", options->model,
                   "Target printer: A2 (default), A4, B1, W4 (crops at its print width) or none "
                   "(8184 dots)")
      ->type_name("MODEL");
  AddPictureOptions(*convert, options->picture);
  convert->add_flag("-q,--quiet", options->job.quiet, "Print nothing but errors");
  convert->footer(R"(Examples:
  quillmark-cli convert logo.bmp -o logo.rec
  quillmark-cli convert wide.bmp -o wide.rec --model W4 --preview wide.png
  quillmark-cli convert photo.jpg -o photo.rec --fit --dither floyd-steinberg --preview photo.png
  some-program | quillmark-cli convert - -o - > logo.rec
)");
  return {convert, [options, &io] {
            std::string error;
            const std::optional<ModelChoice> model = ParseModel(options->model, true, error);
            if (!model) return Usage(io, "convert", error);
            const std::optional<ConversionOptions> picture =
                ConversionOptionsFor(options->picture, error);
            if (!picture) return Usage(io, "convert", error);
            if (options->job.output == kStandardStream && options->job.preview == kStandardStream)
              return Usage(io, "convert",
                           "-o - and --preview - would mix two files on standard output");
            options->job.model = *model;
            options->job.options = *picture;
            return RunConvert(options->job, io);
          }};
}

Command AddExport(CLI::App& app, Io& io) {
  struct Options {
    SlotOptions slots;
    std::string output;
  };
  auto options = std::make_shared<Options>();
  CLI::App* exportCommand = app.add_subcommand(
      "export",
      "Save the NV image definition stream of the slots as a .bin file, byte for byte "
      "what download sends");
  exportCommand
      ->add_option("-o,--output", options->output,
                   "The .bin file to write; - writes to standard output, and a FIFO or a "
                   "device is written directly")
      ->required()
      ->type_name("FILE");
  AddSlotOptions(*exportCommand, options->slots, true, true);
  exportCommand->footer(R"(Examples:
  quillmark-cli export -o logos.bin --slot 1=logo.bmp --slot 3=coupon.bmp
  quillmark-cli export -o blank.bin --mode plain
  quillmark-cli export -o - --slot 1=logo.bmp | nc -N 192.168.1.50 9100
)");
  return {exportCommand, [options, &io] {
            std::optional<SlotsJob> slots = SlotsJobFrom(options->slots, io, "export");
            if (!slots) return kExitUsage;
            return RunExport({std::move(*slots), options->output}, io);
          }};
}

Command AddDownload(CLI::App& app, Io& io) {
  struct Options {
    SlotOptions slots;
    PortOptions port;
    bool clear = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* download = app.add_subcommand(
      "download", "Download the slots' images into the printer's NV memory (FS q)");
  AddSlotOptions(*download, options->slots, true, true);
  AddPortOptions(*download, options->port);
  download->add_flag("--clear", options->clear,
                     "Without --slot: erase every image in the printer (ten blank images)");
  download->footer(R"(Examples:
  quillmark-cli download --slot 1=logo.bmp --port /dev/usb/lp0
  quillmark-cli download --slot 1=logo.bmp --port COM1 --baud 19200 --retries 3
  quillmark-cli download --slot 2=coupon.bmp --port tcp:192.168.1.50 --model W4
  quillmark-cli download --clear --port /dev/usb/lp0
)");
  return {download, [options, &io] {
            const bool slots = !options->slots.slots.empty();
            if (!slots && !options->clear)
              return Usage(io, "download",
                           "no --slot given: that would replace every image in the printer "
                           "with a blank one; give --clear to erase them");
            if (slots && options->clear)
              return Usage(io, "download",
                           "--clear erases every image and takes no --slot (slots not named "
                           "are blank anyway)");
            const std::optional<SendJob> job =
                SendJobFrom(options->slots, options->port, io, "download");
            return job ? RunDownload(*job, io) : kExitUsage;
          }};
}

Command AddPrintTest(CLI::App& app, Io& io) {
  struct Options {
    SlotOptions slots;
    PortOptions port;
    std::string output;
  };
  auto options = std::make_shared<Options>();
  CLI::App* printTest = app.add_subcommand(
      "print-test",
      "Print the test sheet: each stored NV image under its label [Image1] to [Image10] (FS p)");
  AddSlotOptions(*printTest, options->slots, false, false);
  AddPortOptions(*printTest, options->port);
  printTest
      ->add_option("-o,--output", options->output,
                   "Save the stream to this file instead of sending it (written safely: a "
                   "failure leaves an existing file as it was); - writes to standard output")
      ->type_name("FILE")
      ->excludes(options->port.portOption);
  printTest->footer(R"(Examples:
  quillmark-cli print-test --port /dev/usb/lp0
  quillmark-cli print-test --port /dev/ttyUSB0 --baud 19200 --mode plain
  quillmark-cli print-test -o sheet.bin --mode plain
)");
  return {printTest, [options, &io] {
            if (!options->output.empty()) {
              std::string error;
              const std::optional<std::int32_t> mode = ParseMode(options->slots.mode, error);
              if (!mode) return Usage(io, "print-test", error);
              return RunPrintTestToFile({options->output, *mode, options->slots.quiet}, io);
            }
            const std::optional<SendJob> job =
                SendJobFrom(options->slots, options->port, io, "print-test");
            return job ? RunPrintTest(*job, io) : kExitUsage;
          }};
}

Command AddPatch(CLI::App& app, Io& io) {
  struct Options {
    SlotOptions slots;
    std::string image;
    std::string serviceCode;
  };
  auto options = std::make_shared<Options>();
  CLI::App* patch = app.add_subcommand(
      "patch",
      "Service: write the definition stream into a printer memory image behind a new "
      "32-byte header");
  patch->add_option("MEMORY_IMAGE", options->image, "The printer memory image (.bin) to patch")
      ->required();
  AddSlotOptions(*patch, options->slots, true, true);
  patch->add_option("--service-code", options->serviceCode, "The service access code")
      ->required()
      ->type_name("CODE");
  patch->footer(R"(Examples:
  quillmark-cli patch firmware.bin --slot 1=logo.bmp --service-code CODE
)");
  return {patch, [options, &io] {
            if (options->serviceCode != kServiceAccessCode)
              return Usage(io, "patch",
                           "the service code is not the access code; patch is a service command");
            std::optional<SlotsJob> slots = SlotsJobFrom(options->slots, io, "patch");
            if (!slots) return kExitUsage;
            return RunPatch({std::move(*slots), options->image}, io);
          }};
}

Command AddPorts(CLI::App& app, Io& io) {
  auto json = std::make_shared<bool>(false);
  CLI::App* ports = app.add_subcommand(
      "ports",
      "List LPT1-LPT4 and COM1-COM4, the device each opens, whether it is there and "
      "whether you may open it");
  ports->add_flag("--json", *json,
                  "Print the list as JSON, for programs: each port's name, device or address, "
                  "kind, whether it is there");
  ports->footer(R"(Examples:
  quillmark-cli ports
  quillmark-cli ports --json
)");
  return {ports, [json, &io] { return RunPorts(io, *json); }};
}

Command AddRender(CLI::App& app, Io& io) {
  struct Options {
    RenderJob job;
    std::string model = std::string(kDefaultModel);
  };
  auto options = std::make_shared<Options>();
  CLI::App* render = app.add_subcommand(
      "render", "Feed streams to a virtual printer and save the printed paper as a PNG");
  render
      ->add_option("STREAM", options->job.inputs,
                   "Streams (.bin) fed in this order: regular files of at most 64 MiB each; - "
                   "reads one from standard input")
      ->required();
  render
      ->add_option("-o,--output", options->job.output,
                   "The PNG to write, one pixel a dot; - writes to standard output")
      ->required()
      ->type_name("PNG");
  render->add_option("--model", options->model, "The printer: A2 (default), A4, B1 or W4")
      ->type_name("MODEL");
  render
      ->add_option("--nv-store", options->job.nvStore,
                   "Keep the NV memory in this file: images stored by earlier runs print, "
                   "images stored now are kept")
      ->type_name("FILE");
  render->add_flag("-q,--quiet", options->job.quiet, "Do not print the printer's log");
  render->footer(R"(Examples:
  quillmark-cli render logos.bin test-sheet.bin -o sheet.png
  quillmark-cli render test-sheet.bin -o sheet.png --nv-store printer.nv
  quillmark-cli print-test -o - | quillmark-cli render - -o sheet.png
)");
  return {render, [options, &io] {
            std::string error;
            const std::optional<ModelChoice> model = ParseModel(options->model, false, error);
            if (!model) return Usage(io, "render", error);
            const std::vector<std::string>& inputs = options->job.inputs;
            if (std::count(inputs.begin(), inputs.end(), std::string(kStandardStream)) > 1)
              return Usage(io, "render", "standard input (-) can be read only once");
            options->job.model = *model;
            return RunRender(options->job, io);
          }};
}

Command AddVirtualPrinter(CLI::App& app, Io& io) {
  struct Options {
    VirtualPrinterJob job;
    std::string model = std::string(kDefaultModel);
    int jobs = 0;
    int idleSeconds = 30;
    std::string maxDisk = "1G";
    CLI::Option* jobsOption = nullptr;
    CLI::Option* idleOption = nullptr;
  };
  auto options = std::make_shared<Options>();
  CLI::App* virtualPrinter = app.add_subcommand(
      "virtual-printer",
      "Run a virtual printer on a FIFO or a TCP port: each job's paper becomes a PNG");
  CLI::Option* fifo = virtualPrinter->add_option(
      "--fifo", options->job.fifo,
      "Read jobs from this FIFO (made when missing); a job ends when its sender closes it");
  fifo->type_name("PATH");
  CLI::Option* listen = virtualPrinter->add_option(
      "--listen", options->job.listen,
      "Accept jobs on tcp:HOST:PORT (port 0: any free port); one connection is one job");
  listen->type_name("tcp:HOST:PORT");
  fifo->excludes(listen);
  virtualPrinter
      ->add_option("-o,--output", options->job.outputDir,
                   "Folder for the sheets job-0001.png, job-0002.png ...")
      ->required()
      ->type_name("DIR");
  virtualPrinter->add_option("--model", options->model, "The printer: A2 (default), A4, B1 or W4")
      ->type_name("MODEL");
  virtualPrinter
      ->add_option("--nv-store", options->job.nvStore,
                   "Keep the NV memory in this file between jobs and runs")
      ->type_name("FILE");
  options->jobsOption =
      virtualPrinter->add_option("--jobs", options->jobs, "Stop after this many jobs")
          ->type_name("N");
  options->idleOption =
      virtualPrinter
          ->add_option("--idle-timeout", options->idleSeconds,
                       "Close a TCP connection that sends nothing for this long (default 30); "
                       "what it sent prints as its job")
          ->type_name("SECONDS");
  virtualPrinter
      ->add_option("--max-disk", options->maxDisk,
                   "Write no sheet that would make the sheets in DIR take more than this "
                   "(default 1G; K, M, G are 1024, 1024^2, 1024^3 bytes)")
      ->type_name("SIZE");
  virtualPrinter->footer(R"(Over TCP, connections are served side by side; each is one job, printed
when it ends, in the order they end. Sheets are numbered on past the highest job-N.png in
DIR, and never written over a file or through a symbolic link there. Stops on SIGINT or
SIGTERM, saving the NV store.

Examples:
  quillmark-cli virtual-printer --fifo /tmp/printer -o sheets --nv-store printer.nv
  quillmark-cli virtual-printer --listen tcp:127.0.0.1:9100 -o sheets --model W4
  quillmark-cli virtual-printer --listen tcp:0.0.0.0:9100 -o sheets --idle-timeout 10 --max-disk 200M
)");
  return {virtualPrinter, [options, &io] {
            VirtualPrinterJob& job = options->job;
            if (job.fifo.empty() && job.listen.empty())
              return Usage(io, "virtual-printer",
                           "name where jobs come from: --fifo PATH or --listen tcp:HOST:PORT");
            std::string error;
            const std::optional<ModelChoice> model = ParseModel(options->model, false, error);
            if (!model) return Usage(io, "virtual-printer", error);
            if (!job.listen.empty() && !ParseTcpAddress(job.listen, error, true))
              return Usage(io, "virtual-printer", "--listen " + job.listen + ": " + error);
            if (options->jobs < 1 && options->jobsOption->count() != 0)
              return Usage(
                  io, "virtual-printer",
                  "--jobs " + std::to_string(options->jobs) + ": the number of jobs is 1 or more");
            job.jobs = static_cast<unsigned>(std::max(0, options->jobs));
            const int idle = options->idleSeconds;
            if (options->idleOption->count() != 0 && (idle < 1 || idle > 86400))
              return Usage(io, "virtual-printer",
                           "--idle-timeout " + std::to_string(idle) +
                               ": the time-out is 1 to 86400 seconds");
            job.idleTimeoutSeconds = static_cast<unsigned>(idle);
            const std::optional<std::uint64_t> budget = ParseByteSize(options->maxDisk, error);
            if (!budget) return Usage(io, "virtual-printer", "--max-disk " + error);
            job.maxDiskBytes = *budget;
            job.model = *model;
            return RunVirtualPrinter(job, io);
          }};
}

}  // namespace

int RunCli(const std::vector<std::string>& args, Io& io) {
  CLI::App app{
      "Puts logos into thermal receipt printers: converts up to ten pictures (BMP, PNG, JPEG) into "
      "the printer's NV bit images, downloads them (FS q), prints a test sheet of the "
      "stored images (FS p), saves the download as a .bin file, patches a printer "
      "memory image, and renders streams on a virtual printer.",
      kProgram};
  app.set_version_flag("--version", std::string(kProgram) + " " + QUILLMARK_VERSION,
                       "Print the version and exit");
  app.require_subcommand(1);
  app.footer(kToolFooter);
  const Command commands[] = {
      AddConvert(app, io), AddExport(app, io), AddDownload(app, io), AddPrintTest(app, io),
      AddPatch(app, io),   AddPorts(app, io),  AddRender(app, io),   AddVirtualPrinter(app, io)};

  // "help [COMMAND]" is "[COMMAND] --help"; a word that names no command is refused here,
  // with the nearest command's name, before the parser calls it a missing subcommand.
  std::vector<std::string> words = args;
  std::vector<std::string> names;
  for (const Command& command : commands)
    names.push_back(command.app->get_name());
  if (words.size() >= 2 && words[1] == "help") {
    words.erase(words.begin() + 1);
    if (words.size() >= 2 && words[1] == "help") words.erase(words.begin() + 1);  // help help
    words.insert(words.begin() + std::min<std::ptrdiff_t>(2, std::ssize(words)), "--help");
  }
  if (words.size() >= 2 && !words[1].empty() && words[1].front() != '-' &&
      std::find(names.begin(), names.end(), words[1]) == names.end()) {
    const std::string nearest = NearestName(words[1], names);
    io.err << kProgram << ": unknown command '" << words[1] << "'";
    if (!nearest.empty()) {
      io.err << "; did you mean '" << nearest << "'?";
    } else {
      io.err << "; the commands are";
      for (const std::string& name : names)
        io.err << ' ' << name;
    }
    io.err << "\nRun '" << kProgram << " --help' for more information.\n";
    return kExitUsage;
  }

  std::vector<const char*> argv;
  for (const std::string& arg : words)
    argv.push_back(arg.c_str());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return app.exit(error, io.out, io.err);  // --help, --version
    const CLI::App* command = nullptr;
    for (const CLI::App* sub : app.get_subcommands())
      command = sub;
    const std::string name =
        command != nullptr ? std::string(kProgram) + " " + command->get_name() : kProgram;
    io.err << name << ": " << error.what() << "\nRun '" << name
           << " --help' for more information.\n";
    return kExitUsage;
  }
  for (const Command& command : commands)
    if (*command.app) return command.run();
  return Usage(io, "", "name a command");
}

}  // namespace quillmark::cli
