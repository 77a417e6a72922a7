#include "cli/Jobs.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <istream>
#include <ostream>
#include <system_error>

#include "cli/Messages.h"
#include "cli/Platform.h"
#include "cli/SendUi.h"
#include "commands/FileCommands.h"
#include "commands/PrinterCommands.h"
#include "files/SafeFile.h"
#include "raster/PictureFile.h"
#include "raster/PngWriter.h"
#include "raster/RecordPicture.h"
#include "state/PrinterModels.h"
#include "streams/Streams.h"
#include "virtualprinter/Render.h"

namespace quillmark::cli {
namespace {

// A path from its UTF-8 text (on Windows a std::string would be read in the ANSI code page).
std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string FileName(const std::string& path) {
  const std::u8string name = PathFromUtf8(path).filename().u8string();
  return std::string(name.begin(), name.end());
}

// ", converted with --dither atkinson --fit", or nothing for the plain conversion.
std::string ConvertedWith(const ConversionOptions& options) {
  const std::string described = DescribeOptions(options);
  return described.empty() ? std::string() : ", converted with " + described;
}

// The text DescribeOutcome gives a failed write of `path`.
std::string DescribeWriteFailure(const std::string& path, FileError error, std::uint64_t size) {
  FileCommandOutcome outcome;
  outcome.result = FileCommandResult::kWriteError;
  outcome.failure = FileCommandFailure::kFileSystem;
  outcome.io = std::move(error);
  outcome.path = path;
  outcome.streamSize = size;
  return DescribeOutcome(outcome);
}

// Converts the picture of every named slot into `state`. Every picture that gives no image
// is reported; false when there was one.
bool LoadSlots(AppState& state, const SlotsJob& job, Io& io) {
  bool allRead = true;
  std::string summary;
  for (int slot = 1; slot <= kSlotCount; ++slot) {
    const std::string& path = job.slots[static_cast<std::size_t>(slot - 1)];
    if (path.empty()) continue;
    NvConversion converted = ConvertPicture(PathFromUtf8(path), state.widthBytes, job.options);
    if (!converted.record) {
      if (allRead) io.err << TextOf(UserMessage::kReadError).text << '\n';
      allRead = false;
      io.err << DescribePictureError(slot, path, converted.error, converted.systemError) << '\n';
      continue;
    }
    const auto [x, y] = ReadNvRecordHeader(converted.record->data());
    summary += "slot " + std::to_string(slot) + ": " + FileName(path) + ", " +
               std::to_string(8 * x) + " x " + std::to_string(8 * y) + " dots (" +
               std::to_string(converted.record->size()) + " bytes)" + ConvertedWith(job.options) +
               "\n";
    state.imageSlots[static_cast<std::size_t>(slot - 1)] = std::move(converted.record);
  }
  if (!allRead || job.quiet) return allRead;
  io.err << summary;
  if (state.nvCapacity != 0) {
    const std::uint64_t images =
        NvDefinitionStreamSize(state) - NvDefinitionHeaderSize(state.portSettings.brixMode);
    if (images > state.nvCapacity) {
      io.err << "warning: the ten images take " << images << " bytes, more than the "
             << state.nvCapacity << " bytes of NV memory of the " << job.model.code
             << "; the printer will not store them all\n";
    }
  }
  return true;
}

void SetUpState(AppState& state, const SlotsJob& job) {
  state.nvCapacity = job.model.nvCapacity;
  state.widthBytes = job.model.widthBytes;
  state.portSettings.brixMode = job.brixMode;
}

// Reports the end of a file command and returns its exit status.
int FinishFileCommand(const FileCommandOutcome& outcome, bool quiet, Io& io) {
  const std::optional<UserMessage> message = MessageFor(outcome.result);
  const bool failed = outcome.result == FileCommandResult::kReadError ||
                      outcome.result == FileCommandResult::kWriteError;
  if (message && (failed || !quiet)) PrintMessage(io.err, *message, DescribeOutcome(outcome));
  return failed ? kExitFailed : kExitOk;
}

enum class SendKind { kDownload, kPrintTest };

int RunSend(const SendJob& job, SendKind kind, Io& io) {
  AppState state;
  SetUpState(state, job.slots);
  state.portSettings = PortSettingsFor(job.port, job.serial, job.slots.brixMode);
  if (kind == SendKind::kDownload && !LoadSlots(state, job.slots, io)) return kExitFailed;

  std::string unavailable;
  const std::unique_ptr<PortApi> api = MakePortApiFor(job.port, unavailable);
  if (!api) {
    io.err << unavailable << '\n';
    return kExitUsage;
  }

  SendUiOptions options;
  options.progress = io.stderrTerminal && !job.slots.quiet;
  options.ask = !job.retries && io.stdinTerminal;
  options.maxAttempts = options.ask ? 0 : job.retries.value_or(0) + 1;
  // Each failed attempt is told as it happens, with its report.
  TerminalSendUi ui(io.err, io.in, options, &SteadyMilliseconds);

  const CommandResult result = kind == SendKind::kDownload
                                   ? OnDownLoad(state, *api, ui, options.maxAttempts)
                                   : OnPrint(state, *api, ui, options.maxAttempts);
  switch (result.outcome) {
    case CommandOutcome::kSent:
      if (!job.slots.quiet)
        PrintMessage(io.err, UserMessage::kCommunicationFinish,
                     DescribeSendReport(result.lastSend));
      return kExitOk;
    case CommandOutcome::kCancelled:
      io.err << "cancelled; "
             << (result.attempts == 1 ? "1 attempt" : std::to_string(result.attempts) + " attempts")
             << " failed\n";
      return kExitFailed;
    case CommandOutcome::kRetryLimit:
      io.err << TextOf(UserMessage::kCommunicationError).text << '\n'
             << DescribeSendReport(result.lastSend);
      if (result.attempts > 1) io.err << " (gave up after " << result.attempts << " attempts)";
      io.err << '\n';
      return kExitFailed;
  }
  return kExitFailed;
}

// "present (/dev/ttyUSB0, serial), you may open it": what the system says of a device.
std::string DescribeDevice(const std::string& device, bool serialName) {
  const DeviceFacts facts = ProbeDevice(device);
  if (!facts.exists) return "not present";
  std::string text = "present";
  std::string what = facts.resolved;
  if (!facts.kind.empty()) what += (what.empty() ? "" : ", ") + facts.kind;
  if (!what.empty()) text += " (" + what + ")";
  if (!facts.checked) return text;
  if (facts.accessible) return text + ", you may open it";
  const bool serial = facts.kind.empty() ? serialName : facts.kind == "serial";
  const std::string usual = serial ? "dialout" : "lp";
  const std::string group = facts.group.empty() || facts.group == "root" ? usual : facts.group;
  return text + ", but you may not open it (needs the group " + group + " or a udev rule)";
}

}  // namespace

int RunConvert(const ConvertJob& job, Io& io) {
  NvConversion converted =
      ConvertPicture(PathFromUtf8(job.picture), job.model.widthBytes, job.options);
  if (!converted.record) {
    PrintMessage(io.err, UserMessage::kReadError,
                 DescribePictureError(0, job.picture, converted.error, converted.systemError));
    return kExitFailed;
  }
  const ByteBlock& record = *converted.record;
  if (FileError error = ReplaceFileContents(job.output, record.bytes())) {
    PrintMessage(io.err, UserMessage::kWriteError,
                 DescribeWriteFailure(job.output, std::move(error), record.size()));
    return kExitFailed;
  }
  const std::optional<RecordPicture> picture = PictureOfRecord(record.bytes());
  if (!job.quiet) {
    PrintMessage(io.err, UserMessage::kWriteFinish,
                 "wrote the " + std::to_string(record.size()) + "-byte NV image of " +
                     FileName(job.picture) + ", " + std::to_string(picture->width) + " x " +
                     std::to_string(picture->height) + " dots" + ConvertedWith(job.options) +
                     ", to " + job.output);
  }
  if (!job.preview.empty()) {
    const MonoImageView view{picture->width, picture->height, picture->stride,
                             picture->bits.data()};
    if (FileError error = WritePngFile(view, job.preview)) {
      PrintMessage(io.err, UserMessage::kWriteError,
                   DescribeWriteFailure(job.preview, std::move(error), 0));
      return kExitFailed;
    }
    if (!job.quiet) io.err << "wrote the preview to " << job.preview << '\n';
  }
  return kExitOk;
}

int RunExport(const ExportJob& job, Io& io) {
  AppState state;
  SetUpState(state, job.slots);
  if (!LoadSlots(state, job.slots, io)) return kExitFailed;
  return FinishFileCommand(ExportDefinitionStream(state, job.output), job.slots.quiet, io);
}

int RunPatch(const PatchJob& job, Io& io) {
  AppState state;
  SetUpState(state, job.slots);
  state.patchEnabled = 1;
  if (!LoadSlots(state, job.slots, io)) return kExitFailed;
  return FinishFileCommand(PatchMemoryImage(state, job.image), job.slots.quiet, io);
}

int RunDownload(const SendJob& job, Io& io) {
  return RunSend(job, SendKind::kDownload, io);
}

int RunPrintTest(const SendJob& job, Io& io) {
  return RunSend(job, SendKind::kPrintTest, io);
}

int RunPorts(Io& io) {
  const PortMapListing map = ListPortMap();
  if (!map.path.empty()) {
    io.out << "Port map: " << map.path
           << (map.found ? "" : " (not there: each name leads to its default device)") << '\n';
    for (const std::string& problem : map.problems)
      io.out << "  left out, " << problem << '\n';
  }
  io.out << "PORT  DEVICE        STATE\n";
  for (std::size_t i = 0; i < map.ports.size(); ++i) {
    const NamedPort& port = map.ports[i];
    std::string padded = port.target;
    if (padded.size() < 13) padded.append(13 - padded.size(), ' ');
    std::string state = IsTcpAddressText(port.target)
                            ? "network printer"
                            : DescribeDevice(port.target, static_cast<int>(i) >= kFirstSerialPort);
    if (port.mapped) {
      state += "; from the port map";
      for (const std::string& option : port.options)
        state += ", " + option;
    }
    io.out << port.name << "  " << padded << ' ' << state << '\n';
  }
  const std::vector<std::string> others = FindOtherPortDevices();
  if (!others.empty()) {
    io.out << "\nOther printer and serial devices (use them with --port PATH, or map a name to "
              "them in the port map):\n";
    for (const std::string& device : others)
      io.out << "  " << device << "  " << DescribeDevice(device, false) << '\n';
  }
  return kExitOk;
}

int RunPrintTestToFile(const PrintTestFileJob& job, Io& io) {
  const std::optional<ByteBlock> stream = BuildNvPrintTestStream(job.brixMode);
  if (!stream) {
    PrintMessage(io.err, UserMessage::kWriteError,
                 "not enough memory to build the stream; nothing was written");
    return kExitFailed;
  }
  if (FileError error = ReplaceFileContents(job.output, stream->bytes())) {
    PrintMessage(io.err, UserMessage::kWriteError,
                 DescribeWriteFailure(job.output, std::move(error), stream->size()));
    return kExitFailed;
  }
  if (!job.quiet)
    PrintMessage(
        io.err, UserMessage::kWriteFinish,
        "wrote the " + std::to_string(stream->size()) + "-byte print-test stream to " + job.output);
  return kExitOk;
}

int RunRender(const RenderJob& job, Io& io) {
  const std::optional<PrinterModel> model = PrinterModelByCode(job.model.code);
  if (!model) {
    io.err << "render needs a printer model (A2, A4, B1 or W4)\n";
    return kExitUsage;
  }
  VirtualPrinter printer(VirtualPrinterConfigFor(*model));
  if (!job.nvStore.empty()) {
    const NvStoreError loaded =
        LoadNvStore(job.nvStore, printer.config().nvCapacity, printer.nvMemory());
    if (loaded != NvStoreError::kNone && loaded != NvStoreError::kNotFound) {
      PrintMessage(io.err, UserMessage::kReadError,
                   "the NV store " + job.nvStore + ": " + std::string(NvStoreErrorText(loaded)));
      return kExitFailed;
    }
  }
  const RenderResult rendered = RenderStreamsToPng(printer, job.inputs, job.output);
  if (!job.quiet) {
    for (const PrinterEvent& event : printer.events())
      io.err << DescribeEvent(event) << '\n';
    if (printer.droppedEvents() != 0)
      io.err << "(" << printer.droppedEvents() << " more log entries not shown)\n";
  }
  switch (rendered.error) {
    case RenderError::kNone:
      break;
    case RenderError::kInputNotFound:
      PrintMessage(io.err, UserMessage::kReadError,
                   "cannot read " + rendered.path + ": there is no such file; nothing was written");
      return kExitFailed;
    case RenderError::kInputUnreadable:
      PrintMessage(io.err, UserMessage::kReadError,
                   "cannot read " + rendered.path + ": " +
                       (rendered.input.step == FileStep::kNotRegularFile
                            ? std::string("it is not a regular file (render reads saved streams, "
                                          "not FIFOs, devices or folders)")
                            : rendered.input.code.message()) +
                       "; nothing was written");
      return kExitFailed;
    case RenderError::kInputTooLarge:
      PrintMessage(io.err, UserMessage::kReadError,
                   "cannot read " + rendered.path + ": it is longer than the " +
                       std::to_string(kMaxRenderInputBytes >> 20) +
                       " MiB render reads from one file; nothing was written");
      return kExitFailed;
    case RenderError::kOutputFailed:
      PrintMessage(io.err, UserMessage::kWriteError,
                   DescribeWriteFailure(rendered.path, rendered.output, 0));
      return kExitFailed;
  }
  if (!job.nvStore.empty()) {
    if (FileError error = SaveNvStore(printer.nvMemory(), job.nvStore)) {
      PrintMessage(io.err, UserMessage::kWriteError,
                   DescribeWriteFailure(job.nvStore, std::move(error), 0));
      return kExitFailed;
    }
  }
  if (!job.quiet)
    PrintMessage(io.err, UserMessage::kWriteFinish, "wrote the printed paper to " + job.output);
  return kExitOk;
}

}  // namespace quillmark::cli
