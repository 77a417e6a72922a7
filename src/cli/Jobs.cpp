#include "cli/Jobs.h"

#include <algorithm>
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

// What a report calls a path: "-" is standard input or output.
std::string Shown(const std::string& path, bool output = false) {
  if (path != kStandardStream) return path;
  return output ? "standard output" : "standard input";
}

std::string ShownName(const std::string& path) {
  return path == kStandardStream ? Shown(path) : FileName(path);
}

// A picture converted from its file, or from standard input for "-"; `pipeError` says why
// standard input gave no bytes.
struct PictureRead {
  NvConversion converted;
  std::string pipeError;
};

PictureRead ReadPicture(const std::string& path, std::int32_t widthBytes,
                        const ConversionOptions& options) {
  if (path != kStandardStream) return {ConvertPicture(PathFromUtf8(path), widthBytes, options), {}};
  PictureRead read;
  const std::optional<std::vector<std::uint8_t>> bytes =
      ReadPipedInput(0, kMaxPipedPictureBytes, kPipedInputIdleMs, read.pipeError);
  if (!bytes) {
    read.converted.error = PictureError::kCannotOpen;
    return read;
  }
  MemoryByteSource source(*bytes);
  read.converted = ConvertPicture(source, widthBytes, options);
  return read;
}

std::string DescribeReadFailure(int slot, const std::string& path, const PictureRead& read) {
  if (read.pipeError.empty())
    return DescribePictureError(slot, Shown(path), read.converted.error,
                                read.converted.systemError);
  return (slot != 0 ? "slot " + std::to_string(slot) + ": " : std::string()) +
         "standard input: " + read.pipeError;
}

// One line when the picture does not fit the image whole: its size, the part kept and why
// (the model's print width, the 2304 rows), the model that keeps more, and --fit. Empty
// when nothing is left out, or with --fit, which scales instead.
std::string CropNotice(const std::string& name, const NvConversion& converted,
                       const ConversionOptions& options, const ModelChoice& model) {
  if (options.fit || converted.pictureWidth <= 0 || converted.pictureHeight <= 0) return {};
  const bool turned = options.rotate == 90 || options.rotate == 270;
  const std::int32_t width = turned ? converted.pictureHeight : converted.pictureWidth;
  const std::int32_t height = turned ? converted.pictureWidth : converted.pictureHeight;
  const std::optional<NvCrop> crop = NvCropFor(width, height, model.widthBytes);
  if (!crop || (crop->w == width && crop->h == height)) return {};
  std::string why;
  if (crop->w < width) {
    why = model.widthBytes > 0 ? "the " + model.code + " prints " +
                                     std::to_string(8 * model.widthBytes) + " dots across"
                               : "an image is at most " + std::to_string(crop->w) + " dots wide";
  }
  if (crop->h < height)
    why += (why.empty() ? "" : ", and ") + std::string("an image has at most ") +
           std::to_string(kNvMaxRows) + " rows";
  std::string text = name + " is " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels" + (turned ? " turned" : "") + "; only its top-left " +
                     std::to_string(crop->w) + " x " + std::to_string(crop->h) +
                     " are kept: " + why;
  const PrinterModel* wider = nullptr;
  for (const PrinterModel& other : kPrinterModels)
    if (other.widthBytes > model.widthBytes && model.widthBytes > 0 &&
        (wider == nullptr || other.widthBytes > wider->widthBytes))
      wider = &other;
  if (crop->w < width && wider != nullptr) {
    text += "; --model " + std::string(wider->code) + " keeps " +
            std::to_string(std::min(width, 8 * wider->widthBytes)) +
            " dots across, if that is the printer";
  }
  return text + "; --fit scales the picture to fit instead";
}

// Writes an output: straight into standard output, a pipe or a device, else through a
// temporary file renamed over the old one.
FileError WriteOutput(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (!WritesDirectly(path)) return ReplaceFileContents(path, bytes);
  FileError error = WriteDirectly(path, bytes);
  error.path = Shown(path, true);
  return error;
}

// A one-bit picture as a PNG file, or into standard output, a pipe or a device.
FileError WritePng(const MonoImageView& view, const std::string& path) {
  if (!WritesDirectly(path)) return WritePngFile(view, path);
  const std::optional<ByteBlock> png = EncodePng(view);
  if (!png)
    return {FileStep::kWrite, std::make_error_code(std::errc::not_enough_memory),
            Shown(path, true)};
  return WriteOutput(path, png->bytes());
}

// Feeds the streams in order, "-" from standard input; `pipeError` says why standard input
// gave nothing. Then writes the paper.
RenderResult Render(VirtualPrinter& printer, const RenderJob& job, std::string& pipeError) {
  for (const std::string& input : job.inputs) {
    if (input == kStandardStream) {
      const std::optional<std::vector<std::uint8_t>> bytes =
          ReadPipedInput(0, kMaxRenderInputBytes, kPipedInputIdleMs, pipeError);
      if (!bytes) return {RenderError::kInputUnreadable, Shown(input), {}, {}};
      printer.Feed(*bytes);
      continue;
    }
    if (RenderResult fed = FeedRenderInput(printer, input); fed.error != RenderError::kNone)
      return fed;
  }
  const Paper paper = printer.TakePaper();
  if (FileError written = WritePng(paper.View(), job.output))
    return {RenderError::kOutputFailed, job.output, {}, std::move(written)};
  return {};
}

// ", converted with --dither atkinson --fit", or nothing for the plain conversion.
std::string ConvertedWith(const ConversionOptions& options) {
  const std::string described = DescribeOptions(options);
  return described.empty() ? std::string() : ", converted with " + described;
}

// The text DescribeOutcome gives a failed write of `path`; for an output written directly,
// what happened to it.
std::string DescribeWriteFailure(const std::string& path, FileError error, std::uint64_t size) {
  if (WritesDirectly(path)) {
    const std::string where = Shown(path, true);
    const std::string system = error.code.message();
    switch (error.step) {
      case FileStep::kOpenForWriting:
        if (error.code == std::errc::no_such_device_or_address)
          return where + " is a FIFO nobody reads; nothing was written";
        return "cannot open " + where + " for writing: " + system + "; nothing was written";
      case FileStep::kClose:
        return "closing " + where + " failed: " + system;
      default:
        return "cannot write to " + where + ": " + system + "; what it received is incomplete";
    }
  }
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
    PictureRead read = ReadPicture(path, state.widthBytes, job.options);
    NvConversion& converted = read.converted;
    if (!converted.record) {
      if (allRead) io.err << TextOf(UserMessage::kReadError).text << '\n';
      allRead = false;
      io.err << DescribeReadFailure(slot, path, read) << '\n';
      continue;
    }
    const auto [x, y] = ReadNvRecordHeader(converted.record->data());
    if (const std::string notice = CropNotice(ShownName(path), converted, job.options, job.model);
        !notice.empty())
      summary += "notice: slot " + std::to_string(slot) + ": " + notice + "\n";
    summary += "slot " + std::to_string(slot) + ": " + ShownName(path) + ", " +
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
  options.retryDelayMs = job.retryDelayMs;
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

// `text` as a JSON string.
std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

std::string JsonList(const std::vector<std::string>& texts) {
  std::string out = "[";
  for (std::size_t i = 0; i < texts.size(); ++i)
    out += (i == 0 ? "" : ", ") + Json(texts[i]);
  return out + "]";
}

// One port or device as a JSON object: where it leads, what it is, whether it is there
// and may be opened (null where that cannot be told without connecting).
std::string JsonDevice(const std::string& name, const std::string& target,
                       std::string_view kindByName = {}) {
  std::string out = "{";
  if (!name.empty()) out += "\"name\": " + Json(name) + ", ";
  out += "\"device\": " + Json(target);
  if (IsTcpAddressText(target))
    return out + ", \"kind\": \"network\", \"present\": null, \"accessible\": null";
  const DeviceFacts facts = ProbeDevice(target);
  const std::string kind = facts.kind.empty() ? std::string(kindByName) : facts.kind;
  out += ", \"kind\": " + (kind.empty() ? std::string("null") : Json(kind));
  out += ", \"present\": " + std::string(facts.exists ? "true" : "false");
  out += ", \"accessible\": " + std::string(!facts.checked     ? "null"
                                            : facts.accessible ? "true"
                                                               : "false");
  if (!facts.resolved.empty()) out += ", \"resolved\": " + Json(facts.resolved);
  return out;
}

void PrintPortsJson(const PortMapListing& map, Io& io) {
  io.out << "{\n  \"portMap\": ";
  if (map.path.empty())
    io.out << "null";
  else
    io.out << "{\"path\": " << Json(map.path) << ", \"found\": " << (map.found ? "true" : "false")
           << ", \"leftOut\": " << JsonList(map.problems) << "}";
  io.out << ",\n  \"ports\": [";
  for (std::size_t i = 0; i < map.ports.size(); ++i) {
    const NamedPort& port = map.ports[i];
    const bool serial = static_cast<int>(i) >= kFirstSerialPort;
    io.out << (i == 0 ? "\n" : ",\n") << "    "
           << JsonDevice(port.name, port.target, serial ? "serial" : "parallel")
           << ", \"mapped\": " << (port.mapped ? "true" : "false")
           << ", \"options\": " << JsonList(port.options) << "}";
  }
  io.out << "\n  ],\n  \"otherDevices\": [";
  const std::vector<std::string> others = FindOtherPortDevices();
  for (std::size_t i = 0; i < others.size(); ++i)
    io.out << (i == 0 ? "\n" : ",\n") << "    " << JsonDevice("", others[i]) << "}";
  io.out << (others.empty() ? "]" : "\n  ]") << "\n}\n";
}

}  // namespace

int RunConvert(const ConvertJob& job, Io& io) {
  const PictureRead read = ReadPicture(job.picture, job.model.widthBytes, job.options);
  const NvConversion& converted = read.converted;
  if (!converted.record) {
    PrintMessage(io.err, UserMessage::kReadError, DescribeReadFailure(0, job.picture, read));
    return kExitFailed;
  }
  const ByteBlock& record = *converted.record;
  if (FileError error = WriteOutput(job.output, record.bytes())) {
    PrintMessage(io.err, UserMessage::kWriteError,
                 DescribeWriteFailure(job.output, std::move(error), record.size()));
    return kExitFailed;
  }
  const std::optional<RecordPicture> picture = PictureOfRecord(record.bytes());
  if (!job.quiet) {
    PrintMessage(io.err, UserMessage::kWriteFinish,
                 "wrote the " + std::to_string(record.size()) + "-byte NV image of " +
                     ShownName(job.picture) + ", " + std::to_string(picture->width) + " x " +
                     std::to_string(picture->height) + " dots" + ConvertedWith(job.options) +
                     ", to " + Shown(job.output, true));
    const std::string notice =
        CropNotice(ShownName(job.picture), converted, job.options, job.model);
    if (!notice.empty()) io.err << "notice: " << notice << '\n';
  }
  if (!job.preview.empty()) {
    const MonoImageView view{picture->width, picture->height, picture->stride,
                             picture->bits.data()};
    if (FileError error = WritePng(view, job.preview)) {
      PrintMessage(io.err, UserMessage::kWriteError,
                   DescribeWriteFailure(job.preview, std::move(error), 0));
      return kExitFailed;
    }
    if (!job.quiet) io.err << "wrote the preview to " << Shown(job.preview, true) << '\n';
  }
  return kExitOk;
}

int RunExport(const ExportJob& job, Io& io) {
  AppState state;
  SetUpState(state, job.slots);
  if (!LoadSlots(state, job.slots, io)) return kExitFailed;
  if (!WritesDirectly(job.output))
    return FinishFileCommand(ExportDefinitionStream(state, job.output), job.slots.quiet, io);
  // Standard output, a pipe or a device: the same stream, written straight into it.
  FileCommandOutcome outcome;
  outcome.path = Shown(job.output, true);
  outcome.streamSize = NvDefinitionStreamSize(state);
  const std::optional<ByteBlock> stream = BuildNvDefinitionStream(state);
  FileError error = stream ? WriteDirectly(job.output, stream->bytes()) : FileError{};
  if (!stream || error) {
    PrintMessage(io.err, UserMessage::kWriteError,
                 stream ? DescribeWriteFailure(job.output, std::move(error), outcome.streamSize)
                        : "not enough memory to build the stream; nothing was written");
    return kExitFailed;
  }
  outcome.result = FileCommandResult::kWriteFinish;
  return FinishFileCommand(outcome, job.slots.quiet, io);
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

int RunPorts(Io& io, bool json) {
  const PortMapListing map = ListPortMap();
  if (json) {
    PrintPortsJson(map, io);
    return kExitOk;
  }
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
  if (FileError error = WriteOutput(job.output, stream->bytes())) {
    PrintMessage(io.err, UserMessage::kWriteError,
                 DescribeWriteFailure(job.output, std::move(error), stream->size()));
    return kExitFailed;
  }
  if (!job.quiet)
    PrintMessage(io.err, UserMessage::kWriteFinish,
                 "wrote the " + std::to_string(stream->size()) + "-byte print-test stream to " +
                     Shown(job.output, true));
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
  std::string pipeError;
  const RenderResult rendered = Render(printer, job, pipeError);
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
                       (!pipeError.empty() ? pipeError
                        : rendered.input.step == FileStep::kNotRegularFile
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
    PrintMessage(io.err, UserMessage::kWriteFinish,
                 "wrote the printed paper to " + Shown(job.output, true));
  return kExitOk;
}

}  // namespace quillmark::cli
