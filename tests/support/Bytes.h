#pragma once

// Bytes for the tests: whole files read and written, patterns in which a lost, doubled or
// shifted byte shows, parts joined, and the bytes of a block.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "state/ByteBlock.h"

namespace quillmark::testing {

using Bytes = std::vector<std::uint8_t>;

inline std::filesystem::path Utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// The whole file at `path`; nothing when it cannot be opened.
inline std::optional<Bytes> ReadFileBytes(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  if (!in) return std::nullopt;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The whole file as text; empty when it cannot be opened.
inline std::string ReadFileText(const std::string& path) {
  const std::optional<Bytes> bytes = ReadFileBytes(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

// Makes `bytes` the whole content of the file at `path`; false when that fails.
inline bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(Utf8Path(path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

// Bytes that differ from position to position.
inline Bytes Pattern(std::size_t size, std::uint8_t seed = 3) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 251);
  return bytes;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts)
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

inline Bytes BytesOf(const ByteBlock& block) {
  return Bytes(block.bytes().begin(), block.bytes().end());
}
// A block holding `bytes`.
inline ByteBlock BlockOf(const Bytes& bytes) {
  return std::move(*ByteBlock::CopyOf(bytes));
}
// No bytes for no block.
inline Bytes BytesOf(const std::optional<ByteBlock>& block) {
  return block ? BytesOf(*block) : Bytes();
}

}  // namespace quillmark::testing
