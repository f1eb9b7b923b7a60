// The graphs' canvas on Windows: GDI+ draws in 32 bits, the pixels are
// reduced to the chart's own palette, and WIC writes the 8-bit GIF (GDI+'s
// own GIF encoder is not used: under Wine it writes images without pixels).
#include <objidl.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace Gdiplus {
// GDI+'s headers expect the min and max macros that NOMINMAX takes away.
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "base/codepage.h"
#include "bridge/charts/canvas.h"
#include "bridge/charts/chart_palette.h"
#include "bridge/charts/gif_wic_win.h"

namespace gw::bridge {
namespace {

namespace gp = Gdiplus;

std::wstring WideFromUtf8(const std::string& utf8) {
  const WideString wide = Utf8ToWide(utf8);
  return std::wstring(wide.begin(), wide.end());
}

// The families tried in turn when no font is named: those Japanese Windows
// ships, then the IPA font that stands in for them under Wine.
constexpr const wchar_t* kDefaultFamilies[] = {L"Meiryo", L"Yu Gothic", L"MS Gothic", L"IPAGothic"};

// Shapes are drawn at twice the final size and averaged down, as on the
// native side: the edges come out smooth wherever GDI+'s own antialiasing is
// missing (Wine fills shapes without it), and the layout's whole-pixel
// rectangles keep their exact colours.
constexpr int kSupersample = 2;

std::string StatusText(gp::Status status) {
  switch (status) {
    case gp::Ok: return "no error";
    case gp::InvalidParameter: return "invalid parameter";
    case gp::OutOfMemory: return "out of memory";
    case gp::NotImplemented: return "not implemented";
    case gp::Win32Error: return "a Windows error";
    case gp::FileNotFound: return "file not found";
    case gp::AccessDenied: return "access denied";
    case gp::FontFamilyNotFound: return "no such font family";
    case gp::FontStyleNotFound: return "no regular style";
    case gp::NotTrueTypeFont: return "not a TrueType font";
    case gp::GdiplusNotInitialized: return "GDI+ not started";
    default: return "GDI+ status " + std::to_string(static_cast<int>(status));
  }
}

void Check(gp::Status status, const std::string& what) {
  if (status != gp::Ok) throw std::runtime_error(what + ": " + StatusText(status));
}

// GDI+ for the whole process: started by the first font opened and shut
// down after the last font and the process's own reference are gone, so
// that no GDI+ object outlives it.
class GdiplusSession {
 public:
  GdiplusSession() {
    gp::GdiplusStartupInput input;
    Check(gp::GdiplusStartup(&token_, &input, nullptr), "cannot start GDI+");
  }
  ~GdiplusSession() { gp::GdiplusShutdown(token_); }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

  static std::shared_ptr<GdiplusSession> Get() {
    static const std::shared_ptr<GdiplusSession> session = std::make_shared<GdiplusSession>();
    return session;
  }

 private:
  ULONG_PTR token_ = 0;
};

std::unique_ptr<gp::Bitmap> MakeBitmap(int width, int height) {
  auto bitmap = std::make_unique<gp::Bitmap>(width, height, PixelFormat32bppARGB);
  Check(bitmap->GetLastStatus(), "cannot allocate a " + std::to_string(width) + "x" +
                                     std::to_string(height) + " image");
  return bitmap;
}

gp::Color ColourOf(uint32_t rgb) {
  return gp::Color(255, static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb));
}

// The bitmap's pixels, row by row, as 0xAARRGGBB.
std::vector<uint32_t> PixelsOf(gp::Bitmap& bitmap) {
  const int width = static_cast<int>(bitmap.GetWidth()), height = static_cast<int>(bitmap.GetHeight());
  gp::Rect all(0, 0, width, height);
  gp::BitmapData data;
  Check(bitmap.LockBits(&all, gp::ImageLockModeRead, PixelFormat32bppARGB, &data), "cannot read the image");
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
    std::copy_n(reinterpret_cast<const uint32_t*>(row), width, pixels.begin() + static_cast<ptrdiff_t>(y) * width);
  }
  bitmap.UnlockBits(&data);
  return pixels;
}

// Each pixel of `target` the mean of its block of samples in `source`.
void AverageDown(gp::Bitmap& source, gp::Bitmap& target) {
  const std::vector<uint32_t> samples = PixelsOf(source);
  const int width = static_cast<int>(target.GetWidth()), height = static_cast<int>(target.GetHeight());
  const int sourceWidth = width * kSupersample;
  gp::Rect all(0, 0, width, height);
  gp::BitmapData data;
  Check(target.LockBits(&all, gp::ImageLockModeWrite, PixelFormat32bppARGB, &data), "cannot write the image");
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(static_cast<BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride);
    for (int x = 0; x < width; ++x) {
      uint32_t out = 0;
      for (int shift : {0, 8, 16, 24}) {
        uint32_t sum = 0;
        for (int dy = 0; dy < kSupersample; ++dy) {
          for (int dx = 0; dx < kSupersample; ++dx) {
            sum += samples[static_cast<size_t>((y * kSupersample + dy) * sourceWidth + x * kSupersample + dx)] >> shift & 0xFF;
          }
        }
        constexpr uint32_t kSamples = kSupersample * kSupersample;
        out |= ((sum + kSamples / 2) / kSamples) << shift;
      }
      row[x] = out;
    }
  }
  target.UnlockBits(&data);
}

// Text is laid out without GDI+'s extra padding, so that widths measured and
// positions drawn agree with the layout's arithmetic.
std::unique_ptr<gp::StringFormat> TypographicFormat() {
  auto format = std::make_unique<gp::StringFormat>(gp::StringFormat::GenericTypographic());
  format->SetFormatFlags(format->GetFormatFlags() | gp::StringFormatFlagsMeasureTrailingSpaces |
                         gp::StringFormatFlagsNoWrap);
  return format;
}

void PrepareForText(gp::Graphics& graphics) {
  graphics.SetTextRenderingHint(gp::TextRenderingHintAntiAliasGridFit);
  graphics.SetPageUnit(gp::UnitPixel);
}

class GdiCanvas final : public Canvas {
 public:
  GdiCanvas(int width, int height, std::unique_ptr<gp::FontFamily> family, uint32_t background);

  void FillRect(double x0, double y0, double x1, double y1, uint32_t rgb) override;
  void FillPolygon(const std::vector<Point>& points, uint32_t rgb) override;
  void FillCircle(double cx, double cy, double radius, uint32_t rgb) override;
  double TextWidth(const std::string& utf8, double px) const override;
  std::string EncodeGif(const std::vector<uint32_t>& keyColours) const override;

 protected:
  void PlaceText(int x, int baseline, const std::string& utf8, double px, uint32_t rgb) override;

 private:
  struct TextRun {
    int x;
    int baseline;
    std::wstring text;
    double px;
    uint32_t rgb;
  };

  gp::REAL Scaled(double v) const { return static_cast<gp::REAL>(v * kSupersample); }
  std::unique_ptr<gp::Font> FontOf(double px) const;
  std::unique_ptr<gp::Bitmap> Flatten() const;

  std::unique_ptr<gp::FontFamily> family_;
  std::unique_ptr<gp::StringFormat> format_;
  std::unique_ptr<gp::Bitmap> shapes_;
  std::unique_ptr<gp::Graphics> painter_;
  std::unique_ptr<gp::Bitmap> measureSurface_;
  std::unique_ptr<gp::Graphics> measurer_;
  std::vector<TextRun> texts_;
};

GdiCanvas::GdiCanvas(int width, int height, std::unique_ptr<gp::FontFamily> family, uint32_t background)
    : Canvas(width, height),
      family_(std::move(family)),
      format_(TypographicFormat()),
      shapes_(MakeBitmap(width * kSupersample, height * kSupersample)),
      painter_(std::make_unique<gp::Graphics>(shapes_.get())),
      measureSurface_(MakeBitmap(1, 1)),
      measurer_(std::make_unique<gp::Graphics>(measureSurface_.get())) {
  Check(painter_->GetLastStatus(), "cannot draw on the image");
  Check(measurer_->GetLastStatus(), "cannot measure text");
  // Pixel i covers [i, i+1), so shapes on whole pixels have crisp edges.
  painter_->SetPixelOffsetMode(gp::PixelOffsetModeHalf);
  painter_->SetSmoothingMode(gp::SmoothingModeAntiAlias);
  painter_->SetPageUnit(gp::UnitPixel);
  painter_->Clear(ColourOf(background));
  PrepareForText(*measurer_);
}

void GdiCanvas::FillRect(double x0, double y0, double x1, double y1, uint32_t rgb) {
  if (x1 <= x0 || y1 <= y0) return;
  gp::SolidBrush brush(ColourOf(rgb));
  painter_->FillRectangle(&brush, Scaled(x0), Scaled(y0), Scaled(x1) - Scaled(x0), Scaled(y1) - Scaled(y0));
}

void GdiCanvas::FillPolygon(const std::vector<Point>& points, uint32_t rgb) {
  if (points.size() < 3) return;
  std::vector<gp::PointF> scaled;
  scaled.reserve(points.size());
  for (const Point& p : points) scaled.emplace_back(Scaled(p.x), Scaled(p.y));
  gp::SolidBrush brush(ColourOf(rgb));
  painter_->FillPolygon(&brush, scaled.data(), static_cast<INT>(scaled.size()));
}

void GdiCanvas::FillCircle(double cx, double cy, double radius, uint32_t rgb) {
  gp::SolidBrush brush(ColourOf(rgb));
  painter_->FillEllipse(&brush, Scaled(cx - radius), Scaled(cy - radius), Scaled(2 * radius), Scaled(2 * radius));
}

std::unique_ptr<gp::Font> GdiCanvas::FontOf(double px) const {
  auto font = std::make_unique<gp::Font>(family_.get(), static_cast<gp::REAL>(px), gp::FontStyleRegular,
                                         gp::UnitPixel);
  Check(font->GetLastStatus(), "cannot make the font at " + std::to_string(px) + " px");
  return font;
}

void GdiCanvas::PlaceText(int x, int baseline, const std::string& utf8, double px, uint32_t rgb) {
  if (!utf8.empty()) texts_.push_back(TextRun{x, baseline, WideFromUtf8(utf8), px, rgb});
}

double GdiCanvas::TextWidth(const std::string& utf8, double px) const {
  const std::wstring text = WideFromUtf8(utf8);
  if (text.empty()) return 0;
  const std::unique_ptr<gp::Font> font = FontOf(px);
  gp::RectF bounds;
  Check(measurer_->MeasureString(text.c_str(), static_cast<INT>(text.size()), font.get(), gp::PointF(0, 0),
                                 format_.get(), &bounds),
        "cannot measure text");
  return bounds.Width;
}

// The shapes at their final size with the text on top, hinted for the
// pixels it lands on rather than blurred by the averaging.
std::unique_ptr<gp::Bitmap> GdiCanvas::Flatten() const {
  std::unique_ptr<gp::Bitmap> image = MakeBitmap(Width(), Height());
  AverageDown(*shapes_, *image);
  gp::Graphics graphics(image.get());
  Check(graphics.GetLastStatus(), "cannot draw on the image");
  PrepareForText(graphics);
  const int style = gp::FontStyleRegular;
  const double ascentPerEm = static_cast<double>(family_->GetCellAscent(style)) / family_->GetEmHeight(style);
  for (const TextRun& run : texts_) {
    const std::unique_ptr<gp::Font> font = FontOf(run.px);
    gp::SolidBrush brush(ColourOf(run.rgb));
    const gp::PointF origin(static_cast<gp::REAL>(run.x), static_cast<gp::REAL>(run.baseline - ascentPerEm * run.px));
    Check(graphics.DrawString(run.text.c_str(), static_cast<INT>(run.text.size()), font.get(), origin,
                              format_.get(), &brush),
          "cannot draw text");
  }
  return image;
}

std::string GdiCanvas::EncodeGif(const std::vector<uint32_t>& keyColours) const {
  const std::unique_ptr<gp::Bitmap> image = Flatten();
  const IndexedImage indexed = ReducePalette(PixelsOf(*image), keyColours);
  return EncodeIndexedGif(Width(), Height(), indexed);
}

// Two characters drawn alike: a font without Japanese draws each of them as
// the same "missing" box, or as nothing at all.
bool DrawnAlike(const gp::FontFamily& family, const wchar_t* a, const wchar_t* b) {
  constexpr int kSize = 40;
  gp::Font font(&family, 24, gp::FontStyleRegular, gp::UnitPixel);
  Check(font.GetLastStatus(), "cannot make a font of it");
  const std::unique_ptr<gp::StringFormat> format = TypographicFormat();
  auto draw = [&](const wchar_t* text) {
    std::unique_ptr<gp::Bitmap> image = MakeBitmap(kSize, kSize);
    {
      gp::Graphics graphics(image.get());
      PrepareForText(graphics);
      graphics.Clear(gp::Color(255, 0, 0, 0));
      gp::SolidBrush white(gp::Color(255, 255, 255, 255));
      Check(graphics.DrawString(text, -1, &font, gp::PointF(4, 4), format.get(), &white), "cannot draw with it");
    }
    return PixelsOf(*image);
  };
  return draw(a) == draw(b);
}

class GdiChartFont final : public ChartFont {
 public:
  GdiChartFont(std::shared_ptr<GdiplusSession> session, std::unique_ptr<gp::PrivateFontCollection> collection,
               std::unique_ptr<gp::FontFamily> family)
      : session_(std::move(session)), collection_(std::move(collection)), family_(std::move(family)) {}

  // Each canvas draws with a copy of the family of its own, as GDI+ objects
  // are not to be used from two threads at once.
  std::unique_ptr<Canvas> NewCanvas(int width, int height, uint32_t background) const override {
    std::unique_ptr<gp::FontFamily> copy;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      copy.reset(family_->Clone());
    }
    if (!copy) throw std::runtime_error("cannot copy the font family");
    Check(copy->GetLastStatus(), "cannot copy the font family");
    return std::make_unique<GdiCanvas>(width, height, std::move(copy), background);
  }

 private:
  // Declared first so that GDI+ is shut down only after the font is gone.
  std::shared_ptr<GdiplusSession> session_;
  std::unique_ptr<gp::PrivateFontCollection> collection_;
  std::unique_ptr<gp::FontFamily> family_;
  mutable std::mutex mutex_;
};

bool DrawsJapanese(const gp::FontFamily& family) { return !DrawnAlike(family, L"電", L"力"); }

// Whether --font names a file rather than an installed family.
bool LooksLikeFile(const std::wstring& name) {
  if (name.find_first_of(L"/\\:") != std::wstring::npos) return true;
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) return true;
  const size_t dot = name.rfind(L'.');
  if (dot == std::wstring::npos) return false;
  std::wstring extension = name.substr(dot + 1);
  for (wchar_t& c : extension) c = static_cast<wchar_t>(towlower(c));
  return extension == L"ttf" || extension == L"otf" || extension == L"ttc";
}

std::unique_ptr<ChartFont> OpenFontFile(const std::string& named) {
  const std::wstring path = WideFromUtf8(named);
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    throw std::runtime_error("font file " + named + ": cannot open it: " + HResultText(HRESULT_FROM_WIN32(GetLastError())));
  }
  CloseHandle(file);
  std::shared_ptr<GdiplusSession> session = GdiplusSession::Get();
  auto collection = std::make_unique<gp::PrivateFontCollection>();
  const gp::Status added = collection->AddFontFile(path.c_str());
  if (added != gp::Ok) throw std::runtime_error("font file " + named + ": not a usable font (" + StatusText(added) + ")");
  auto family = std::make_unique<gp::FontFamily>();
  INT found = 0;
  if (collection->GetFamilies(1, family.get(), &found) != gp::Ok || found < 1) {
    throw std::runtime_error("font file " + named + ": it holds no font family");
  }
  if (!DrawsJapanese(*family)) throw std::runtime_error("font file " + named + ": it has no Japanese characters");
  return std::make_unique<GdiChartFont>(std::move(session), std::move(collection), std::move(family));
}

// An installed family by name, or null when there is none of that name.
std::unique_ptr<gp::FontFamily> InstalledFamily(const std::wstring& name) {
  auto family = std::make_unique<gp::FontFamily>(name.c_str());
  if (family->GetLastStatus() != gp::Ok) return nullptr;
  return family;
}

std::unique_ptr<ChartFont> OpenFontFamily(const std::string& named) {
  std::shared_ptr<GdiplusSession> session = GdiplusSession::Get();
  std::unique_ptr<gp::FontFamily> family = InstalledFamily(WideFromUtf8(named));
  if (!family) throw std::runtime_error("font family " + named + ": no installed font has this name");
  if (!DrawsJapanese(*family)) throw std::runtime_error("font family " + named + ": it has no Japanese characters");
  return std::make_unique<GdiChartFont>(std::move(session), nullptr, std::move(family));
}

std::unique_ptr<ChartFont> OpenDefaultFont() {
  std::shared_ptr<GdiplusSession> session = GdiplusSession::Get();
  for (const wchar_t* name : kDefaultFamilies) {
    std::unique_ptr<gp::FontFamily> family = InstalledFamily(name);
    if (family && DrawsJapanese(*family)) {
      return std::make_unique<GdiChartFont>(std::move(session), nullptr, std::move(family));
    }
  }
  throw std::runtime_error(
      "no Japanese font installed: none of Meiryo, Yu Gothic, MS Gothic or IPAGothic can be used; "
      "name a font file or family with --font");
}

}  // namespace

std::unique_ptr<ChartFont> OpenChartFont(const std::string& font) {
  if (font.empty()) return OpenDefaultFont();
  if (LooksLikeFile(WideFromUtf8(font))) return OpenFontFile(font);
  return OpenFontFamily(font);
}

}  // namespace gw::bridge
