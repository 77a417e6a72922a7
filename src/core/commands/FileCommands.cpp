#include "commands/FileCommands.h"

#include <algorithm>

#include "streams/Streams.h"

namespace quillmark {
namespace {

FileCommandOutcome Failed(FileCommandResult result, FileCommandFailure failure,
                          const std::string& path, std::uint64_t streamSize, FileError io = {}) {
  return {result, failure, std::move(io), path, streamSize};
}

std::string WithSystemText(std::string text, const std::error_code& code) {
  if (code) text += ": " + code.message();
  return text;
}

std::string DescribeFileError(const FileError& io) {
  switch (io.step) {
    case FileStep::kNone:
      return {};
    case FileStep::kOpenForReading:
      return WithSystemText("cannot open " + io.path + " for reading", io.code);
    case FileStep::kOpenForWriting:
      return WithSystemText("cannot open " + io.path + " for writing", io.code);
    case FileStep::kNotRegularFile:
      return io.path + " is not a regular file";
    case FileStep::kRead:
      return WithSystemText("cannot read " + io.path, io.code);
    case FileStep::kCreateTemporary:
      return WithSystemText("cannot create a temporary file in " + io.path, io.code);
    case FileStep::kWrite:
      return WithSystemText("writing the new content failed", io.code);
    case FileStep::kSync:
      return WithSystemText("flushing the new content to the disk failed", io.code);
    case FileStep::kClose:
      return WithSystemText("closing the new file failed", io.code);
    case FileStep::kReplace:
      return WithSystemText("cannot put the new file in place of " + io.path, io.code);
  }
  return {};
}

}  // namespace

std::optional<UserMessage> MessageFor(FileCommandResult result) noexcept {
  switch (result) {
    case FileCommandResult::kCancelled:
      return std::nullopt;
    case FileCommandResult::kWriteFinish:
      return UserMessage::kWriteFinish;
    case FileCommandResult::kPatchFinish:
      return UserMessage::kPatchFinish;
    case FileCommandResult::kReadError:
      return UserMessage::kReadError;
    case FileCommandResult::kWriteError:
      return UserMessage::kWriteError;
  }
  return std::nullopt;
}

std::string DescribeOutcome(const FileCommandOutcome& outcome) {
  const std::string& path = outcome.path;
  const std::string size = std::to_string(outcome.streamSize);
  switch (outcome.failure) {
    case FileCommandFailure::kNone:
      break;
    case FileCommandFailure::kImageTooShort:
      return path + " is shorter than the 32-byte memory image header; nothing was written";
    case FileCommandFailure::kAlreadyPatched:
      return path + " has been patched before; nothing was written";
    case FileCommandFailure::kWrongHeader:
      return path + " does not begin with the memory image header; nothing was written";
    case FileCommandFailure::kStreamTooLarge:
      return "the definition stream is " + size + " bytes, more than the " +
             std::to_string(MaxPatchStreamSize) + " a memory image holds; nothing was written";
    case FileCommandFailure::kOutOfMemory:
      return "not enough memory for the " + size + "-byte definition stream; " + path +
             " was left as it was";
    case FileCommandFailure::kFileSystem: {
      std::string text = DescribeFileError(outcome.io);
      if (outcome.result == FileCommandResult::kReadError)
        text += "; nothing was written";
      else
        text += "; " + path + " was left as it was";
      return text;
    }
  }
  switch (outcome.result) {
    case FileCommandResult::kCancelled:
      return "cancelled; nothing was written";
    case FileCommandResult::kWriteFinish:
      return "wrote the " + size + "-byte definition stream to " + path;
    case FileCommandResult::kPatchFinish:
      return "patched " + path + ": the 32-byte header and the " + size + "-byte definition stream";
    case FileCommandResult::kReadError:
    case FileCommandResult::kWriteError:
      break;
  }
  return {};
}

FilePrompt FileExportPrompt() {
  return {FileDialogKind::kSaveAs, "BIN", "", true,
          "Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||"};
}

FilePrompt PatchPrompt() {
  // No overwrite question: the memory image to patch is expected to exist.
  return {FileDialogKind::kSaveAs, "BIN", "", false,
          "Varnok S Binary Files (*.bin)|*.bin|All Files (*.*)|*.*||"};
}

FileCommandOutcome ExportDefinitionStream(const AppState& state, const std::string& path,
                                          const FileCalls& calls) {
  const std::uint64_t size = NvDefinitionStreamSize(state);
  const std::optional<ByteBlock> stream = BuildNvDefinitionStream(state);
  if (!stream)
    return Failed(FileCommandResult::kWriteError, FileCommandFailure::kOutOfMemory, path, size);
  if (FileError io = ReplaceFileContents(path, stream->bytes(), calls))
    return Failed(FileCommandResult::kWriteError, FileCommandFailure::kFileSystem, path, size,
                  std::move(io));
  return {FileCommandResult::kWriteFinish, FileCommandFailure::kNone, {}, path, size};
}

FileCommandOutcome PatchMemoryImage(const AppState& state, const std::string& path,
                                    const FileCalls& calls) {
  using enum FileCommandResult;
  using enum FileCommandFailure;
  // The image is rewritten where a symbolic link points; the link stays.
  const std::string image = ResolveLinks(path);

  // The header first: nothing is built, created or written for an image that fails it.
  {
    FileError io;
    FileInfo info;
    const FileHandle file = OpenExisting(image, FileAccess::kRead, info, io);
    if (!file.valid()) return Failed(kReadError, kFileSystem, path, 0, std::move(io));
    std::array<std::uint8_t, 32> header{};
    const std::optional<std::size_t> got = ReadUpTo(file, header, image, io);
    if (!got) return Failed(kReadError, kFileSystem, path, 0, std::move(io));
    if (*got < header.size()) return Failed(kReadError, kImageTooShort, path, 0);
    // A second patch is refused like any other wrong header; telling it apart only makes
    // the reason clearer.
    if (header == PatchedImageHeader) return Failed(kReadError, kAlreadyPatched, path, 0);
    if (header != ExpectedImageHeader) return Failed(kReadError, kWrongHeader, path, 0);
  }

  const std::uint64_t size = NvDefinitionStreamSize(state);
  if (size > MaxPatchStreamSize) return Failed(kReadError, kStreamTooLarge, path, size);

  const std::optional<ByteBlock> stream = BuildNvDefinitionStream(state);
  if (!stream) return Failed(kWriteError, kOutOfMemory, path, size);

  // The image must be updatable in place, as "rb+" requires, before a copy is made: a
  // rename alone would replace even a read-only image.
  FileError io;
  FileInfo info;
  FileHandle original = OpenExisting(image, FileAccess::kReadWrite, info, io);
  if (!original.valid()) return Failed(kWriteError, kFileSystem, path, size, std::move(io));

  auto copy = ReplacementFile::Create(image, &info, calls, io);
  if (!copy || !copy->Write(PatchedImageHeader, io) || !copy->Write(stream->bytes(), io) ||
      !copy->CopyFrom(original, PatchedImageHeader.size() + size, image, io))
    return Failed(kWriteError, kFileSystem, path, size, std::move(io));
  original.reset();  // closed before the rename: Windows replaces no open file
  if (!copy->Commit(io)) return Failed(kWriteError, kFileSystem, path, size, std::move(io));
  return {kPatchFinish, kNone, {}, path, size};
}

namespace {

FileCommandOutcome RunFileCommand(CommandUi& ui, const FilePrompt& prompt,
                                  FileCommandOutcome (*work)(const AppState&, const std::string&,
                                                             const FileCalls&),
                                  const AppState& state) {
  const std::optional<FileDialogResult> chosen = ui.ChooseFile(prompt);
  if (!chosen) return {};
  // The work releases the stream and closes every file before the box is shown.
  FileCommandOutcome outcome = work(state, chosen->pathName, SystemFileCalls());
  if (const std::optional<UserMessage> message = MessageFor(outcome.result)) ui.Tell(*message);
  return outcome;
}

}  // namespace

FileCommandOutcome OnFile(const AppState& state, CommandUi& ui) {
  return RunFileCommand(ui, FileExportPrompt(), &ExportDefinitionStream, state);
}

FileCommandOutcome OnPatch(const AppState& state, CommandUi& ui) {
  return RunFileCommand(ui, PatchPrompt(), &PatchMemoryImage, state);
}

}  // namespace quillmark
