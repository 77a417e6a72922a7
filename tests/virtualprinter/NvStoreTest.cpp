#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "virtualprinter/Checksums.h"
#include "virtualprinter/NvMemory.h"

namespace quillmark {
namespace {

using Bytes = std::vector<std::uint8_t>;

ByteBlock Record(int x, int y, std::uint8_t seed) {
  auto block = ByteBlock::Allocate(NvRecordSize(x, y));
  block->data()[0] = static_cast<std::uint8_t>(x);
  block->data()[1] = static_cast<std::uint8_t>(x >> 8);
  block->data()[2] = static_cast<std::uint8_t>(y);
  block->data()[3] = static_cast<std::uint8_t>(y >> 8);
  for (std::uint32_t i = 4; i < block->size(); ++i)
    block->data()[i] = static_cast<std::uint8_t>(i * 31 + seed);
  return std::move(*block);
}

NvMemory ThreeImages() {
  NvMemory memory;
  memory.Append(Record(1, 1, 1));
  memory.Append(Record(300, 2, 2));  // x above 255 uses xH
  memory.Append(Record(3, 288, 3));  // y above 255 uses yH
  return memory;
}

Bytes Encoded(const NvMemory& memory) {
  const auto store = EncodeNvStore(memory);
  return Bytes(store->bytes().begin(), store->bytes().end());
}

void Expect(const NvMemory& actual, const NvMemory& expected) {
  ASSERT_EQ(actual.count(), expected.count());
  EXPECT_EQ(actual.bytesUsed(), expected.bytesUsed());
  for (int n = 1; n <= expected.count(); ++n) {
    const auto a = actual.Record(n)->bytes();
    const auto e = expected.Record(n)->bytes();
    EXPECT_TRUE(std::equal(a.begin(), a.end(), e.begin(), e.end())) << "image " << n;
  }
}

void Reseal(Bytes& store) {
  const std::uint32_t crc = Crc32(std::span<const std::uint8_t>(store).first(store.size() - 4));
  for (int i = 0; i < 4; ++i)
    store[store.size() - 4 + static_cast<std::size_t>(i)] =
        static_cast<std::uint8_t>(crc >> (8 * i));
}

TEST(NvStore, RoundTripKeepsEveryImage) {
  for (bool empty : {true, false}) {
    const NvMemory original = empty ? NvMemory() : ThreeImages();
    const Bytes store = Encoded(original);
    NvMemory loaded;
    loaded.Append(Record(2, 2, 9));  // replaced on success
    ASSERT_EQ(DecodeNvStore(store, 0x80000, loaded), NvStoreError::kNone);
    Expect(loaded, original);
  }
}

TEST(NvStore, DamagedStoresAreRefusedAndChangeNothing) {
  const Bytes good = Encoded(ThreeImages());
  const std::size_t second = 16 + NvRecordSize(1, 1);  // offset of image 2's header
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    bool reseal;  // recompute the CRC, so that only the structure is wrong
    std::uint32_t capacity;
    NvStoreError expected;
  };
  auto put = [](std::size_t at, Bytes values) {
    return [at, values](Bytes& b) {
      std::copy(values.begin(), values.end(), b.begin() + static_cast<long>(at));
    };
  };
  const Case cases[] = {
      {"raster bit flipped", [](Bytes& b) { b[40] ^= 0x10; }, false, 0x80000,
       NvStoreError::kCorrupt},
      {"checksum changed", [](Bytes& b) { b.back() ^= 1; }, false, 0x80000, NvStoreError::kCorrupt},
      {"last byte cut", [](Bytes& b) { b.pop_back(); }, false, 0x80000, NvStoreError::kCorrupt},
      {"cut to the header", [](Bytes& b) { b.resize(19); }, false, 0x80000,
       NvStoreError::kNotAStore},
      {"magic changed", put(1, {'X'}), false, 0x80000, NvStoreError::kNotAStore},
      {"CR LF made LF", [](Bytes& b) { b.erase(b.begin() + 4); }, false, 0x80000,
       NvStoreError::kNotAStore},
      {"version 2", put(8, {2}), false, 0x80000, NvStoreError::kUnsupportedVersion},
      {"count 256", put(12, {0, 1}), true, 0x80000, NvStoreError::kCorrupt},
      {"count one more", put(12, {4}), true, 0x80000, NvStoreError::kCorrupt},
      {"count one less", put(12, {2}), true, 0x80000, NvStoreError::kCorrupt},
      {"image of width 0", put(second, {0, 0}), true, 0x80000, NvStoreError::kCorrupt},
      {"image of height 289", put(second + 2, {0x21, 1}), true, 0x80000, NvStoreError::kCorrupt},
      {"byte appended", [](Bytes& b) { b.insert(b.end() - 4, 0); }, true, 0x80000,
       NvStoreError::kCorrupt},
      {"too big for the printer", [](Bytes&) {}, false, 0x1000, NvStoreError::kExceedsCapacity},
  };
  for (const Case& c : cases) {
    Bytes store = good;
    c.damage(store);
    if (c.reseal) Reseal(store);
    NvMemory memory;
    memory.Append(Record(2, 2, 9));
    const Bytes before = Encoded(memory);
    EXPECT_EQ(DecodeNvStore(store, c.capacity, memory), c.expected) << c.what;
    EXPECT_EQ(Encoded(memory), before) << c.what;
  }
}

TEST(NvStore, FilesRoundTripAndBadFilesAreRefused) {
  const auto dir = std::filesystem::path(::testing::TempDir()) / "nvstore_files";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "printer.nv").string();
  NvMemory memory;
  EXPECT_EQ(LoadNvStore(path, 0x80000, memory), NvStoreError::kNotFound);

  ASSERT_EQ(SaveNvStore(ThreeImages(), path).step, FileStep::kNone);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no leftovers
  ASSERT_EQ(LoadNvStore(path, 0x80000, memory), NvStoreError::kNone);
  Expect(memory, ThreeImages());
  // A file larger than any store this printer can hold is refused before it is read: as
  // too big when it is a store, as no store otherwise.
  EXPECT_EQ(LoadNvStore(path, 0x1000, memory), NvStoreError::kExceedsCapacity);
  std::ofstream(path, std::ios::binary) << std::string(600000, 'x');
  EXPECT_EQ(LoadNvStore(path, 0x80000, memory), NvStoreError::kNotAStore);
  EXPECT_EQ(LoadNvStore(dir.string(), 0x80000, memory), NvStoreError::kUnreadable);
  Expect(memory, ThreeImages());

  EXPECT_EQ(SaveNvStore(memory, (dir / "missing" / "p.nv").string()).step,
            FileStep::kCreateTemporary);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quillmark
