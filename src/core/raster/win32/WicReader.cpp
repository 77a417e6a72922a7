// PNG and JPEG pictures in the Windows build, decoded by the Windows Imaging Component
// (windowscodecs.dll), which every Windows since XP SP3 has. The pixels come out as the
// Linux readers give them: transparency laid over white (OverWhite), 16-bit samples by
// their high byte, CMYK as red = (255 - C)(255 - K) / 255, rounded, gamma and colour
// profiles ignored; orientation metadata is ignored as well.
#include <wincodec.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <span>
#include <string_view>
#include <utility>

#include "raster/DecodeLimits.h"
#include "raster/HeapArray.h"
#include "raster/PictureFile.h"
#include "raster/win32/ComPtr.h"

namespace quillmark {
namespace {

// The decoders may hold the whole picture, 4 bytes a pixel (Wine's do); beyond this many
// pixels (256 MiB of them) a picture is refused with kTooLarge before they see it.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 26;
// Rows are copied out of the decoder in bands of about this many bytes.
constexpr std::size_t kBandBytes = std::size_t{1} << 20;

// A ByteSource as the read-only stream WIC decodes from. It belongs to the picture, which
// releases every decoder holding it before it goes; its count of references is kept for
// the interface's sake only. A failed read keeps the source's own error.
// COM interfaces have no virtual destructor: objects go through Release, never delete.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class ByteSourceStream final : public IStream {
 public:
  explicit ByteSourceStream(ByteSource& source) noexcept : source_(source) {}
  ByteSourceStream(const ByteSourceStream&) = delete;
  ByteSourceStream& operator=(const ByteSourceStream&) = delete;

  ByteSource& Source() const noexcept { return source_; }
  PictureError ReadError() const noexcept { return readError_; }
  bool ReachedEnd() const noexcept { return reachedEnd_; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
      *out = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }

  HRESULT STDMETHODCALLTYPE Read(void* out, ULONG count, ULONG* read) override {
    if (read != nullptr) *read = 0;
    if (out == nullptr) return STG_E_INVALIDPOINTER;
    const std::uint64_t size = source_.Size();
    const ULONG n = position_ >= size
                        ? 0
                        : static_cast<ULONG>(std::min<std::uint64_t>(count, size - position_));
    if (n > 0) {
      const PictureError e = source_.ReadAt(position_, {static_cast<std::uint8_t*>(out), n});
      if (e != PictureError::kNone) {
        readError_ = e;
        return STG_E_READFAULT;
      }
    }
    position_ += n;
    if (read != nullptr) *read = n;
    if (n == count) return S_OK;
    // A short read is how a decoder reading ahead meets the end; only one that finds no byte
    // left at all shows that it wanted more than the file holds.
    if (n == 0) reachedEnd_ = true;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
    if (written != nullptr) *written = 0;
    return STG_E_ACCESSDENIED;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                 ULARGE_INTEGER* position) override {
    std::int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET:
        break;
      case STREAM_SEEK_CUR:
        base = static_cast<std::int64_t>(position_);
        break;
      case STREAM_SEEK_END:
        base = static_cast<std::int64_t>(source_.Size());
        break;
      default:
        return STG_E_INVALIDFUNCTION;
    }
    // Past the end is allowed (a read there reads nothing); before the start is not.
    if (move.QuadPart < -base) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<std::uint64_t>(base + move.QuadPart);
    if (position != nullptr) position->QuadPart = position_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    *stat = STATSTG{};
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = source_.Size();
    stat->grfMode = STGM_READ;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override {
    if (clone != nullptr) *clone = nullptr;
    return E_NOTIMPL;
  }

 private:
  ByteSource& source_;
  std::uint64_t position_ = 0;
  ULONG references_ = 1;
  PictureError readError_ = PictureError::kNone;
  bool reachedEnd_ = false;
};
#pragma GCC diagnostic pop

// How the copied pixels are laid out: 8-bit BGRA (everything the system's converter turns
// into it exactly), or a decoder's own format where its converter would not keep what the
// Linux readers give (CMYK, and 16-bit samples, which it may convert with a gamma curve).
enum class Layout { kBgra8, kCmyk8, kGrey16, kRgb16, kRgba16 };

constexpr std::size_t BytesPerPixel(Layout layout) noexcept {
  switch (layout) {
    case Layout::kGrey16:
      return 2;
    case Layout::kRgb16:
      return 6;
    case Layout::kRgba16:
      return 8;
    default:
      return 4;
  }
}

Colour OverWhiteColour(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) noexcept {
  if (a == 255) return MakeColour(r, g, b);
  return MakeColour(OverWhite(r, a), OverWhite(g, a), OverWhite(b, a));
}

Colour ToColour(Layout layout, const std::uint8_t* p) noexcept {
  switch (layout) {
    case Layout::kBgra8:
      return OverWhiteColour(p[2], p[1], p[0], p[3]);
    case Layout::kCmyk8: {
      // Ink values, 255 full; the decoder has already turned Adobe's inverted ones round.
      const std::uint32_t paper = 255u - p[3];
      const auto channel = [paper](std::uint8_t ink) {
        return static_cast<std::uint8_t>(((255u - ink) * paper + 127u) / 255u);
      };
      return MakeColour(channel(p[0]), channel(p[1]), channel(p[2]));
    }
    case Layout::kGrey16:
      return MakeColour(p[1], p[1], p[1]);
    case Layout::kRgb16:
      return MakeColour(p[1], p[3], p[5]);
    case Layout::kRgba16:
      return OverWhiteColour(p[1], p[3], p[5], p[7]);
  }
  return 0;
}

std::uint32_t BigEndian(const std::uint8_t* p, int bytes) noexcept {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i)
    value = value << 8 | p[i];
  return value;
}

// The size a picture claims, read before the system's decoder sees the file: the decoders
// may allocate the whole picture as soon as they open it.
struct Claimed {
  std::uint32_t width = 0, height = 0;
};

// Walks a PNG's chunks from the signature on, reading their headers only: kBadPng when the
// first is no IHDR or a length or type is impossible, kTruncated when the file ends inside
// a chunk. `endsEarly` tells a file that ends between chunks before IEND. (The system's
// decoder reports all of these alike, as a failure.)
PictureError CheckPngChunks(ByteSource& source, Claimed& claimed, bool& endsEarly) noexcept {
  const std::uint64_t size = source.Size();
  endsEarly = false;
  for (std::uint64_t at = 8;;) {
    if (at == size) {
      endsEarly = true;
      return PictureError::kNone;
    }
    std::uint8_t head[16];
    const std::size_t want = at == 8 ? 16 : 8;  // IHDR: the size too
    if (size - at < want) return PictureError::kTruncated;
    if (auto e = source.ReadAt(at, std::span(head).first(want)); e != PictureError::kNone) return e;
    const std::uint32_t length = BigEndian(head, 4);
    const std::string_view type(reinterpret_cast<const char*>(head + 4), 4);
    const bool letters = std::all_of(type.begin(), type.end(), [](char c) {
      return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
    if (length > 0x7FFFFFFFu || !letters || (at == 8 && (type != "IHDR" || length != 13)))
      return PictureError::kBadPng;
    if (at == 8) claimed = {BigEndian(head + 8, 4), BigEndian(head + 12, 4)};
    if (size - at - 8 < std::uint64_t{length} + 4) return PictureError::kTruncated;
    at += 8 + std::uint64_t{length} + 4;
    if (type == "IEND") return PictureError::kNone;
  }
}

// Walks a JPEG's marker segments up to the frame header (SOF0 to SOF15) for its size:
// kTruncated when the file ends first, kBadJpeg when the scan or the end comes first.
PictureError FindJpegFrame(ByteSource& source, Claimed& claimed) noexcept {
  constexpr int kMaxStrayBytes = 65536;  // read one at a time; more is no JPEG
  const std::uint64_t size = source.Size();
  int stray = 0;
  for (std::uint64_t at = 2;;) {
    std::uint8_t head[9];
    if (at > size || size - at < 2) return PictureError::kTruncated;
    if (auto e = source.ReadAt(at, std::span(head).first(2)); e != PictureError::kNone) return e;
    if (head[0] != 0xFF || head[1] == 0xFF) {  // stray bytes or fill: skipped, as decoders do
      if (++stray > kMaxStrayBytes) return PictureError::kBadJpeg;
      ++at;
      continue;
    }
    const std::uint8_t marker = head[1];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no segment follows
      at += 2;
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA) return PictureError::kBadJpeg;
    if (size - at < 9) return PictureError::kTruncated;
    if (auto e = source.ReadAt(at + 2, std::span(head).subspan(2, 7)); e != PictureError::kNone)
      return e;
    const std::uint32_t length = BigEndian(head + 2, 2);
    if (length < 2) return PictureError::kBadJpeg;
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (length < 7) return PictureError::kBadJpeg;
      claimed = {BigEndian(head + 7, 2), BigEndian(head + 5, 2)};
      return PictureError::kNone;
    }
    at += 2 + length;
  }
}

class WicPicture final : public PixelSource {
 public:
  static std::unique_ptr<PixelSource> Open(ByteSource& source, PictureFormat format,
                                           PictureError& error) noexcept;

  std::int32_t Width() const noexcept override { return width_; }
  std::int32_t Height() const noexcept override { return height_; }
  PictureError PrepareWindow(std::int32_t top, std::int32_t rows,
                             std::int32_t columns) noexcept override;
  PictureError ReadRow(std::int32_t row, std::span<Colour> out) noexcept override;

 private:
  WicPicture(ByteSource& source, PictureFormat format) noexcept
      : stream_(source), format_(format) {}
  PictureError Open() noexcept;
  // Why a call failed: the source's own error, memory, the file's end, or malformed data.
  PictureError Failure(HRESULT result) const noexcept;

  // Destroyed in reverse order: every COM reference before the stream, the apartment last.
  ComApartment apartment_;
  ByteSourceStream stream_;
  ComPtr<IWICImagingFactory> factory_;
  ComPtr<IWICBitmapDecoder> decoder_;
  ComPtr<IWICBitmapFrameDecode> frame_;
  ComPtr<IWICFormatConverter> converter_;
  IWICBitmapSource* pixels_ = nullptr;  // frame_ or converter_
  bool endsEarly_ = false;              // a PNG that ends between chunks, before IEND

  PictureFormat format_;
  Layout layout_ = Layout::kBgra8;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool windowSet_ = false;
  std::int32_t top_ = 0, rows_ = 0, columns_ = 0;  // the kept window
  std::int32_t nextRow_ = 0;                       // rows before it were read
  std::int32_t bandTop_ = 0, bandRows_ = 0;        // the rows now in band_
  HeapArray<std::uint8_t> band_;
};

std::unique_ptr<PixelSource> WicPicture::Open(ByteSource& source, PictureFormat format,
                                              PictureError& error) noexcept {
  std::unique_ptr<WicPicture> picture(new (std::nothrow) WicPicture(source, format));
  if (!picture) {
    error = PictureError::kOutOfMemory;
    return nullptr;
  }
  error = picture->Open();
  if (error != PictureError::kNone) return nullptr;
  return picture;
}

PictureError WicPicture::Failure(HRESULT result) const noexcept {
  if (stream_.ReadError() != PictureError::kNone) return stream_.ReadError();
  if (result == E_OUTOFMEMORY) return PictureError::kOutOfMemory;
  if (stream_.ReachedEnd() || endsEarly_) return PictureError::kTruncated;
  return format_ == PictureFormat::kPng ? PictureError::kBadPng : PictureError::kBadJpeg;
}

PictureError WicPicture::Open() noexcept {
  Claimed claimed;
  const PictureError checked = format_ == PictureFormat::kPng
                                   ? CheckPngChunks(stream_.Source(), claimed, endsEarly_)
                                   : FindJpegFrame(stream_.Source(), claimed);
  if (checked != PictureError::kNone) return checked;
  if (claimed.width == 0 || claimed.height == 0)
    return format_ == PictureFormat::kPng ? PictureError::kBadDimensions : PictureError::kBadJpeg;
  if (claimed.width > 0x7FFFFFFFu || claimed.height > 0x7FFFFFFFu)
    return PictureError::kBadDimensions;
  if (claimed.width > static_cast<std::uint32_t>(kMaxDecodedWidth)) return PictureError::kTooWide;
  if (std::uint64_t{claimed.width} * claimed.height > kMaxPixels) return PictureError::kTooLarge;
  if (!apartment_.Usable()) return PictureError::kNoDecoder;
  HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(factory_.Out()));
  if (FAILED(hr))
    return hr == E_OUTOFMEMORY ? PictureError::kOutOfMemory : PictureError::kNoDecoder;
  // The system's own decoder of the format the signature told, never another one installed.
  const GUID& container =
      format_ == PictureFormat::kPng ? GUID_ContainerFormatPng : GUID_ContainerFormatJpeg;
  hr = factory_->CreateDecoder(container, nullptr, decoder_.Out());
  if (FAILED(hr))
    return hr == E_OUTOFMEMORY ? PictureError::kOutOfMemory : PictureError::kNoDecoder;
  if (hr = decoder_->Initialize(&stream_, WICDecodeMetadataCacheOnDemand); FAILED(hr))
    return Failure(hr);
  if (hr = decoder_->GetFrame(0, frame_.Out()); FAILED(hr)) return Failure(hr);
  UINT width = 0, height = 0;
  if (hr = frame_->GetSize(&width, &height); FAILED(hr)) return Failure(hr);
  // The decoder's size must be the one checked above.
  if (width != claimed.width || height != claimed.height) return PictureError::kBadDimensions;
  width_ = static_cast<std::int32_t>(width);
  height_ = static_cast<std::int32_t>(height);

  WICPixelFormatGUID native{};
  if (hr = frame_->GetPixelFormat(&native); FAILED(hr)) return Failure(hr);
  const std::pair<const GUID*, Layout> own[] = {
      {&GUID_WICPixelFormat32bppBGRA, Layout::kBgra8},
      {&GUID_WICPixelFormat32bppCMYK, Layout::kCmyk8},
      {&GUID_WICPixelFormat16bppGray, Layout::kGrey16},
      {&GUID_WICPixelFormat48bppRGB, Layout::kRgb16},
      {&GUID_WICPixelFormat64bppRGBA, Layout::kRgba16},
  };
  for (const auto& [guid, layout] : own) {
    if (native == *guid) {
      layout_ = layout;
      pixels_ = frame_.Get();
      return PictureError::kNone;
    }
  }
  if (hr = factory_->CreateFormatConverter(converter_.Out()); FAILED(hr)) return Failure(hr);
  hr = converter_->Initialize(frame_.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                              nullptr, 0.0, WICBitmapPaletteTypeCustom);
  if (FAILED(hr))
    return hr == E_OUTOFMEMORY ? PictureError::kOutOfMemory : PictureError::kDecodeFailed;
  layout_ = Layout::kBgra8;
  pixels_ = converter_.Get();
  return PictureError::kNone;
}

PictureError WicPicture::PrepareWindow(std::int32_t top, std::int32_t rows,
                                       std::int32_t columns) noexcept {
  if (windowSet_) return PictureError::kNone;
  if (top < 0 || rows <= 0 || columns <= 0 || top >= height_ || rows > height_ - top ||
      columns > width_)
    return PictureError::kBadDimensions;
  const std::size_t rowBytes = BytesPerPixel(layout_) * static_cast<std::size_t>(columns);
  const auto bandRows = static_cast<std::int32_t>(
      std::clamp<std::size_t>(kBandBytes / rowBytes, 1, static_cast<std::size_t>(rows)));
  auto band = HeapArray<std::uint8_t>::Allocate(rowBytes * static_cast<std::size_t>(bandRows));
  if (!band) return PictureError::kOutOfMemory;
  band_ = std::move(*band);
  windowSet_ = true;
  top_ = top;
  rows_ = rows;
  columns_ = columns;
  nextRow_ = top;
  return PictureError::kNone;
}

PictureError WicPicture::ReadRow(std::int32_t row, std::span<Colour> out) noexcept {
  if (!windowSet_) {
    const std::int32_t rows = std::min(height_ - std::max(row, 0), kNvMaxRows);
    if (auto e = PrepareWindow(row, rows, static_cast<std::int32_t>(out.size()));
        e != PictureError::kNone)
      return e;
  }
  if (row < top_ || row >= top_ + rows_ || out.size() > static_cast<std::size_t>(columns_) ||
      row < nextRow_)
    return PictureError::kBadDimensions;
  nextRow_ = row + 1;
  const std::size_t rowBytes = BytesPerPixel(layout_) * static_cast<std::size_t>(columns_);
  if (row >= bandTop_ + bandRows_ || row < bandTop_) {
    // Only the kept columns of the next band of kept rows are copied out.
    const auto capacity = static_cast<std::int32_t>(band_.size() / rowBytes);
    const std::int32_t count = std::min(capacity, top_ + rows_ - row);
    const WICRect rect{0, row, columns_, count};
    const HRESULT hr = pixels_->CopyPixels(&rect, static_cast<UINT>(rowBytes),
                                           static_cast<UINT>(rowBytes * count), band_.data());
    if (FAILED(hr)) return Failure(hr);
    bandTop_ = row;
    bandRows_ = count;
  }
  const std::uint8_t* p = band_.data() + rowBytes * static_cast<std::size_t>(row - bandTop_);
  const std::size_t step = BytesPerPixel(layout_);
  for (std::size_t c = 0; c < out.size(); ++c, p += step)
    out[c] = ToColour(layout_, p);
  return PictureError::kNone;
}

}  // namespace

std::unique_ptr<PixelSource> OpenSystemPicture(ByteSource& source, PictureFormat format,
                                               PictureError& error) noexcept {
  return WicPicture::Open(source, format, error);
}

}  // namespace quillmark
