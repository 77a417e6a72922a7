#pragma once

// The File and Patch commands: saving the NV image definition stream to a .bin file, and
// writing it behind a new 32-byte header into a printer memory image (service mode).
//
// OnFile and OnPatch are the button logic over CommandUi: file dialog, work, one message
// box. ExportDefinitionStream and PatchMemoryImage do the work for a path already chosen
// and show nothing, for the command-line tool. All of them return a FileCommandOutcome
// saying what the user was told and, for a failure, why in the system's own words.
//
// Neither command ever leaves a half-written file: the new content goes to a temporary
// file beside the target and replaces it only when complete, synced and closed. On any
// failure the previous file is exactly as it was.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "commands/CommandUi.h"
#include "files/SafeFile.h"
#include "format/NvFormat.h"
#include "state/AppState.h"

namespace quillmark {

// What the user was told.
enum class FileCommandResult {
  kCancelled,    // the file dialog was cancelled: no message, nothing touched
  kWriteFinish,  // File: the whole stream was saved
  kPatchFinish,  // Patch: header and stream were written into the image
  kReadError,    // Patch: the image cannot be read, has the wrong header, or the stream is
                 // too large; nothing was written
  kWriteError,   // the file could not be written; the previous file is unchanged
};

// Why a command failed, beyond the message.
enum class FileCommandFailure {
  kNone,
  kImageTooShort,   // the image has fewer than 32 bytes
  kAlreadyPatched,  // the image begins with PatchedImageHeader: it was patched before
  kWrongHeader,     // the image begins with neither header
  kStreamTooLarge,  // the stream is longer than MaxPatchStreamSize
  kOutOfMemory,     // the stream could not be built for want of memory
  kFileSystem,      // a file operation failed: see `io`
};

struct FileCommandOutcome {
  FileCommandResult result = FileCommandResult::kCancelled;
  FileCommandFailure failure = FileCommandFailure::kNone;
  FileError io;                  // the failed step and the system's error (kFileSystem)
  std::string path;              // the file chosen
  std::uint64_t streamSize = 0;  // the definition stream's size, once known
};

// The message each result ends with: "Write Finish", "Patch Finish", "Read Error" or
// "Write Error"; nothing for kCancelled.
std::optional<UserMessage> MessageFor(FileCommandResult result) noexcept;

// What happened, in plain words, for the command-line tool to print after the message:
// "cannot create a temporary file in /media/usb: Read-only file system".
std::string DescribeOutcome(const FileCommandOutcome& outcome);

// The Save As dialogs of the two commands.
FilePrompt FileExportPrompt();
FilePrompt PatchPrompt();

// Saves the definition stream of `state` as the whole content of `path`.
FileCommandOutcome ExportDefinitionStream(const AppState& state, const std::string& path,
                                          const FileCalls& calls = SystemFileCalls());

// Patches the memory image at `path`: checks its header, then the stream's size, then
// writes PatchedImageHeader and the stream over its first 32 + S bytes, keeping the bytes
// after them and growing a shorter file to 32 + S bytes.
FileCommandOutcome PatchMemoryImage(const AppState& state, const std::string& path,
                                    const FileCalls& calls = SystemFileCalls());

// The File button: asks for a file name, saves the stream there, shows the outcome.
FileCommandOutcome OnFile(const AppState& state, CommandUi& ui);

// The Patch button: asks for a memory image, patches it, shows the outcome.
FileCommandOutcome OnPatch(const AppState& state, CommandUi& ui);

}  // namespace quillmark
