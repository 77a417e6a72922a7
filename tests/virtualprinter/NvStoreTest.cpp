#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "PrinterTestSupport.h"
#include "virtualprinter/Checksums.h"
#include "virtualprinter/NvMemory.h"

namespace quillmark {
namespace {

using test::Bytes;

NvMemory ThreeImages() {
  NvMemory memory;
  for (const Bytes& r : {test::Record(1, 1, 1), test::Record(300, 2, 2), test::Record(3, 288, 3)})
    memory.Append(std::move(*ByteBlock::CopyOf(r)));  // x above 255, y above 255
  return memory;
}

Bytes Encoded(const NvMemory& memory) {
  const auto store = EncodeNvStore(memory);
  return Bytes(store->bytes().begin(), store->bytes().end());
}

TEST(NvStore, RoundTripKeepsEveryImage) {
  for (bool empty : {true, false}) {
    const NvMemory original = empty ? NvMemory() : ThreeImages();
    NvMemory loaded;
    loaded.Append(std::move(*ByteBlock::CopyOf(test::Record(2, 2, 9))));  // replaced
    ASSERT_EQ(DecodeNvStore(Encoded(original), 0x80000, loaded), NvStoreError::kNone);
    EXPECT_EQ(loaded.count(), original.count());
    EXPECT_EQ(Encoded(loaded), Encoded(original));
  }
}

TEST(NvStore, DamagedStoresAreRefusedAndChangeNothing) {
  const Bytes good = Encoded(ThreeImages());
  const std::size_t second = 16 + NvRecordSize(1, 1);  // offset of image 2's header
  auto put = [](std::size_t at, Bytes values) {
    return [at, values](Bytes& b) {
      std::copy(values.begin(), values.end(), b.begin() + static_cast<long>(at));
    };
  };
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    bool reseal;  // a fresh CRC, so that only the structure is wrong
    std::uint32_t capacity;
    NvStoreError expected;
  };
  using E = NvStoreError;
  const Case cases[] = {
      {"raster bit flipped", [](Bytes& b) { b[40] ^= 0x10; }, false, 0x80000, E::kCorrupt},
      {"checksum changed", [](Bytes& b) { b.back() ^= 1; }, false, 0x80000, E::kCorrupt},
      {"last byte cut", [](Bytes& b) { b.pop_back(); }, false, 0x80000, E::kCorrupt},
      {"cut to the header", [](Bytes& b) { b.resize(19); }, false, 0x80000, E::kNotAStore},
      {"magic changed", put(1, {'X'}), false, 0x80000, E::kNotAStore},
      {"CR LF made LF", [](Bytes& b) { b.erase(b.begin() + 4); }, false, 0x80000, E::kNotAStore},
      {"version 2", put(8, {2}), false, 0x80000, E::kUnsupportedVersion},
      {"count 256", put(12, {0, 1}), true, 0x80000, E::kCorrupt},
      {"count one more", put(12, {4}), true, 0x80000, E::kCorrupt},
      {"count one less", put(12, {2}), true, 0x80000, E::kCorrupt},
      {"image of width 0", put(second, {0, 0}), true, 0x80000, E::kCorrupt},
      {"image of height 289", put(second + 2, {0x21, 1}), true, 0x80000, E::kCorrupt},
      {"byte appended", [](Bytes& b) { b.insert(b.end() - 4, 0); }, true, 0x80000, E::kCorrupt},
      {"too big for the printer", [](Bytes&) {}, false, 0x1000, E::kExceedsCapacity},
  };
  for (const Case& c : cases) {
    Bytes store = good;
    c.damage(store);
    if (c.reseal) {
      const std::uint32_t crc = Crc32(std::span<const std::uint8_t>(store).first(store.size() - 4));
      for (std::size_t i = 0; i < 4; ++i)
        store[store.size() - 4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
    NvMemory memory;
    memory.Append(std::move(*ByteBlock::CopyOf(test::Record(2, 2, 9))));
    const Bytes before = Encoded(memory);
    EXPECT_EQ(DecodeNvStore(store, c.capacity, memory), c.expected) << c.what;
    EXPECT_EQ(Encoded(memory), before) << c.what;
  }
}

}  // namespace
}  // namespace quillmark
