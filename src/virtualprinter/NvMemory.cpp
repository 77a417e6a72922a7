#include "virtualprinter/NvMemory.h"

#include <cstring>

#include "files/FileIo.h"
#include "raster/Checksums.h"

namespace quillmark {
namespace {

constexpr std::array<std::uint8_t, 8> kStoreMagic = {0x89, 'Q', 'N', 'V', '\r', '\n', 0x1A, '\n'};
constexpr std::uint32_t kStoreVersion = 1;
constexpr std::size_t kStoreHeaderSize = 16;
constexpr std::size_t kStoreTrailerSize = 4;

std::uint32_t ReadU32Le(const std::uint8_t* p) noexcept {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteU32Le(std::uint8_t* p, std::uint32_t value) noexcept {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The record size its header at `header` gives.
std::uint32_t RecordSizeAt(const std::uint8_t* header) noexcept {
  const auto [x, y] = ReadNvRecordHeader(header);
  return NvRecordSize(x, y);
}

// Whether the file at `path` begins like a store; used to tell a store written for a
// larger printer from some other, large file.
bool StartsWithMagic(const std::string& path) noexcept {
  FileInfo info;
  FileError error;
  const FileHandle file = OpenExisting(path, FileAccess::kRead, info, error);
  std::array<std::uint8_t, kStoreMagic.size()> start{};
  if (!file.valid()) return false;
  const auto got = ReadUpTo(file, start, path, error);
  return got && *got == start.size() && start == kStoreMagic;
}

}  // namespace

std::optional<NvImageView> NvMemory::Image(int number) const noexcept {
  const ByteBlock* record = Record(number);
  if (record == nullptr) return std::nullopt;
  const auto [x, y] = ReadNvRecordHeader(record->data());
  return NvImageView{x, y, record->bytes().subspan(kNvRecordHeaderSize)};
}

const ByteBlock* NvMemory::Record(int number) const noexcept {
  if (number < 1 || number > count_) return nullptr;
  return &*images_[static_cast<std::size_t>(number - 1)];
}

void NvMemory::Clear() noexcept {
  for (int i = 0; i < count_; ++i)
    images_[static_cast<std::size_t>(i)].reset();
  count_ = 0;
  bytesUsed_ = 0;
}

bool NvMemory::Append(ByteBlock record) noexcept {
  if (count_ >= kMaxNvImages || record.size() < kNvRecordHeaderSize) return false;
  const auto [x, y] = ReadNvRecordHeader(record.data());
  if (!IsValidNvImageSize(x, y) || record.size() != NvRecordSize(x, y)) return false;
  bytesUsed_ += record.size();
  images_[static_cast<std::size_t>(count_)] = std::move(record);
  ++count_;
  return true;
}

std::string_view NvStoreErrorText(NvStoreError error) noexcept {
  switch (error) {
    case NvStoreError::kNone:
      return "no error";
    case NvStoreError::kNotFound:
      return "no such file";
    case NvStoreError::kUnreadable:
      return "the file cannot be read";
    case NvStoreError::kNotAStore:
      return "not an NV store file";
    case NvStoreError::kUnsupportedVersion:
      return "an NV store of an unsupported format version";
    case NvStoreError::kCorrupt:
      return "the NV store is damaged";
    case NvStoreError::kExceedsCapacity:
      return "the stored images need more NV memory than this printer has";
    case NvStoreError::kOutOfMemory:
      return "out of memory";
  }
  return "unknown error";
}

std::optional<ByteBlock> EncodeNvStore(const NvMemory& memory) noexcept {
  const std::uint64_t size =
      kStoreHeaderSize + static_cast<std::uint64_t>(memory.bytesUsed()) + kStoreTrailerSize;
  if (size > 0xFFFFFFFFU) return std::nullopt;
  auto store = ByteBlock::Allocate(static_cast<std::uint32_t>(size));
  if (!store) return std::nullopt;
  std::uint8_t* out = store->data();
  std::memcpy(out, kStoreMagic.data(), kStoreMagic.size());
  WriteU32Le(out + 8, kStoreVersion);
  WriteU32Le(out + 12, static_cast<std::uint32_t>(memory.count()));
  out += kStoreHeaderSize;
  for (int number = 1; number <= memory.count(); ++number) {
    const ByteBlock* record = memory.Record(number);
    std::memcpy(out, record->data(), record->size());
    out += record->size();
  }
  const auto covered = static_cast<std::size_t>(out - store->data());
  WriteU32Le(out, Crc32(std::span<const std::uint8_t>(store->data(), covered)));
  return store;
}

NvStoreError DecodeNvStore(std::span<const std::uint8_t> bytes, std::uint32_t nvCapacity,
                           NvMemory& into) noexcept {
  if (bytes.size() < kStoreHeaderSize + kStoreTrailerSize ||
      std::memcmp(bytes.data(), kStoreMagic.data(), kStoreMagic.size()) != 0)
    return NvStoreError::kNotAStore;
  if (ReadU32Le(bytes.data() + 8) != kStoreVersion) return NvStoreError::kUnsupportedVersion;
  const std::size_t body = bytes.size() - kStoreTrailerSize;
  if (Crc32(bytes.first(body)) != ReadU32Le(bytes.data() + body)) return NvStoreError::kCorrupt;
  const std::uint32_t count = ReadU32Le(bytes.data() + 12);
  if (count > kMaxNvImages) return NvStoreError::kCorrupt;

  // Walk the records once to check their sizes before anything is allocated.
  std::size_t pos = kStoreHeaderSize;
  std::uint64_t needed = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (body - pos < kNvRecordHeaderSize) return NvStoreError::kCorrupt;
    const auto [x, y] = ReadNvRecordHeader(bytes.data() + pos);
    if (!IsValidNvImageSize(x, y) || body - pos < NvRecordSize(x, y)) return NvStoreError::kCorrupt;
    pos += NvRecordSize(x, y);
    needed += NvRecordSize(x, y);
  }
  if (pos != body) return NvStoreError::kCorrupt;
  if (needed > nvCapacity) return NvStoreError::kExceedsCapacity;

  NvMemory loaded;
  pos = kStoreHeaderSize;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t size = RecordSizeAt(bytes.data() + pos);
    auto record = ByteBlock::CopyOf(bytes.subspan(pos, size));
    if (!record) return NvStoreError::kOutOfMemory;
    loaded.Append(std::move(*record));
    pos += size;
  }
  into = std::move(loaded);
  return NvStoreError::kNone;
}

FileError SaveNvStore(const NvMemory& memory, const std::string& path) noexcept {
  const auto store = EncodeNvStore(memory);
  if (!store) return {FileStep::kWrite, std::make_error_code(std::errc::not_enough_memory), path};
  return ReplaceFileContents(path, store->bytes());
}

NvStoreError LoadNvStore(const std::string& path, std::uint32_t nvCapacity,
                         NvMemory& into) noexcept {
  // A store that fits the capacity is never longer than this; anything longer is refused
  // before it is read into memory.
  const std::uint64_t limit =
      static_cast<std::uint64_t>(nvCapacity) + kStoreHeaderSize + kStoreTrailerSize;
  const ReadFileResult file =
      LoadWholeFile(path, limit > 0xFFFFFFFFU ? 0xFFFFFFFFU : static_cast<std::uint32_t>(limit));
  switch (file.error) {
    case ReadFileError::kNone:
      return DecodeNvStore(file.bytes->bytes(), nvCapacity, into);
    case ReadFileError::kNotFound:
      return NvStoreError::kNotFound;
    case ReadFileError::kTooLarge:
      return StartsWithMagic(path) ? NvStoreError::kExceedsCapacity : NvStoreError::kNotAStore;
    case ReadFileError::kOutOfMemory:
      return NvStoreError::kOutOfMemory;
    case ReadFileError::kUnreadable:
      break;
  }
  return NvStoreError::kUnreadable;
}

}  // namespace quillmark
