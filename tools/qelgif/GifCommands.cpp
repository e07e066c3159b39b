// qelgif encode, optimize and frames.
#include "GifCommands.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "ToolIO.h"
#include "platform/Streams.h"
#include "xpGif10/GifClock.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifPainter.h"
#include "xpGif10/GifReduce.h"
#include "xpJpeg/JpegImage.h"
#include "xpPng/PngImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <set>

using namespace platform;
using namespace xpGif10;

namespace qelgif {

int Number(const Args& args, size_t& i, const std::string& name, int lo, int hi) {
    if (i + 1 >= args.size()) throw UsageError(name + " needs a number");
    const std::string& text = args[++i];
    long v = 0;
    try {
        size_t used = 0;
        v = std::stol(text, &used, 0);
        if (used != text.size()) throw std::invalid_argument(text);
    } catch (const std::logic_error&) {
        throw UsageError(name + " needs a number, not \"" + text + "\"");
    }
    if (v < lo || v > hi)
        throw UsageError(name + " takes " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " + text);
    return int(v);
}

namespace {

// ---- reading PPM and PAM ----------------------------------------------------------

class Netpbm {
public:
    explicit Netpbm(const std::vector<uint8_t>& bytes) : b_(bytes) {}

    std::string Token() {
        for (;;) {
            while (pos_ < b_.size() && std::isspace(b_[pos_])) ++pos_;
            if (pos_ < b_.size() && b_[pos_] == '#') {
                while (pos_ < b_.size() && b_[pos_] != '\n') ++pos_;
                continue;
            }
            break;
        }
        std::string t;
        while (pos_ < b_.size() && !std::isspace(b_[pos_])) t += char(b_[pos_++]);
        return t;
    }
    int Int() {
        std::string t = Token();
        if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos || t.size() > 9)
            throw Exception("Bad number in the picture header: \"" + t + "\"");
        return std::stoi(t);
    }
    std::string Line() {
        std::string t;
        while (pos_ < b_.size() && b_[pos_] != '\n') t += char(b_[pos_++]);
        if (pos_ < b_.size()) ++pos_;
        return t;
    }
    void SkipOneSpace() { ++pos_; }
    size_t Pos() const { return pos_; }

private:
    const std::vector<uint8_t>& b_;
    size_t pos_ = 0;
};

// Fills a 24-bit bitmap from rows of depth samples (3 or 4 with alpha) of
// one byte, or two (most significant first) when maxval is above 255; see-
// through pixels get a colour the picture does not use, which becomes the
// bitmap's transparent colour.
void FillBitmap(TBitmap& bmp, const std::vector<uint8_t>& bytes, size_t at, int w, int h, int depth, int maxval) {
    if (w <= 0 || h <= 0 || int64_t(w) * h > TBitmap::MaxPixels) throw Exception("Bad picture size");
    if (maxval < 1 || maxval > 65535) throw Exception("Bad MAXVAL " + std::to_string(maxval));
    const size_t sample = maxval > 255 ? 2 : 1;
    const size_t stride = size_t(depth) * sample;
    if (bytes.size() < at || (bytes.size() - at) / stride < size_t(w) * size_t(h))
        throw Exception("The picture data is shorter than its header says");
    auto value = [&](const uint8_t* p, int i) -> uint8_t {
        unsigned v = sample == 2 ? unsigned(p[2 * i] << 8 | p[2 * i + 1]) : p[i];
        return uint8_t((v * 255u + unsigned(maxval) / 2) / unsigned(maxval));
    };
    bmp.SetPixelFormat(TPixelFormat::pf24bit);
    bmp.SetSize(w, h);
    std::set<TColor> used;
    std::vector<uint8_t> seeThrough(size_t(w) * size_t(h), 0);
    bool anyTransparent = false;
    const uint8_t* p = bytes.data() + at;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = bmp.ScanLine(y);
        for (int x = 0; x < w; ++x, p += stride) {
            const uint8_t r = value(p, 0), g = value(p, 1), b = value(p, 2);
            row[3 * x] = b;
            row[3 * x + 1] = g;
            row[3 * x + 2] = r;
            if (depth == 4 && value(p, 3) < 128) {
                anyTransparent = true;
                seeThrough[size_t(y) * size_t(w) + size_t(x)] = 1;
            } else if (depth == 4) {
                used.insert(RGB(r, g, b));
            }
        }
    }
    if (!anyTransparent) return;
    TColor key = RGB(254, 0, 254);
    while (used.count(key)) ++key;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (seeThrough[size_t(y) * size_t(w) + size_t(x)]) bmp.SetPixel(x, y, key);
    bmp.SetTransparentColor(key);
    bmp.SetTransparent(true);
}

void ReadPPM(TBitmap& bmp, const std::vector<uint8_t>& bytes) {
    Netpbm r(bytes);
    r.Token();
    int w = r.Int(), h = r.Int(), maxval = r.Int();
    r.SkipOneSpace();
    FillBitmap(bmp, bytes, r.Pos(), w, h, 3, maxval);
}

void ReadPAM(TBitmap& bmp, const std::vector<uint8_t>& bytes) {
    Netpbm r(bytes);
    r.Line();
    int w = 0, h = 0, depth = 0, maxval = 0;
    for (;;) {
        std::string line = r.Line();
        if (line == "ENDHDR") break;
        if (r.Pos() >= bytes.size()) throw Exception("PAM header without ENDHDR");
        auto value = [&] { return std::atoi(line.c_str() + line.find(' ') + 1); };
        if (line.rfind("WIDTH ", 0) == 0) w = value();
        if (line.rfind("HEIGHT ", 0) == 0) h = value();
        if (line.rfind("DEPTH ", 0) == 0) depth = value();
        if (line.rfind("MAXVAL ", 0) == 0) maxval = value();
    }
    if (depth != 3 && depth != 4) throw Exception("Only RGB and RGB_ALPHA PAM files are read");
    FillBitmap(bmp, bytes, r.Pos(), w, h, depth, maxval);
}

// Reads IN by its first bytes: PPM (P6), PAM (P7), BMP, JPEG or PNG.
void ReadPicture(TBitmap& bmp, const std::string& path) {
    std::vector<uint8_t> bytes = ReadInput(path);
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG\r\n\x1a\n", 8) == 0) {
        TMemoryStream s(std::move(bytes));
        xpPng::TPNGImage png;
        png.LoadFromStream(s);
        CheckSize(uint64_t(png.Width()) * uint64_t(png.Height()) * 4, path);
        // Alpha becomes the bitmap's transparent colour.
        bmp.Assign(&png.Bitmap());
        bmp.SetTransparentColor(png.Bitmap().TransparentColor());
        bmp.SetTransparent(png.Bitmap().Transparent());
        return;
    }
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '6') return ReadPPM(bmp, bytes);
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '7') return ReadPAM(bmp, bytes);
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        TMemoryStream s(std::move(bytes));
        bmp.LoadFromStream(s);
        return;
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
        TMemoryStream s(std::move(bytes));
        xpJpeg::TJPEGImage jpeg;
        jpeg.LoadFromStream(s);
        bmp.Assign(&jpeg.Bitmap());
        return;
    }
    throw Exception("Unknown picture format (PPM, PAM, BMP, JPEG or PNG expected): " + path);
}

// The state the painter drew, as rows of red, green, blue.
std::vector<uint8_t> Samples(const TBitmap& bmp) {
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(bmp.Width()) * size_t(bmp.Height()) * 3);
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            TColor c = bmp.GetPixel(x, y);
            rgb.insert(rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    return rgb;
}

} // namespace

void LoadGif(TGIFImage& image, const std::string& path) { LoadGif(image, ReadInput(path)); }

namespace {

void ReportWarnings(TGIFImage& image, int* count = nullptr) {
    image.OnWarning = [count](TGIFImage*, TPersistent*, int, const std::string& message) {
        std::cerr << "warning: " << message << "\n";
        if (count) ++*count;
    };
}

// A 0x0 logical screen (some writers leave it so) is as large as the
// frames reach.
void FitEmptyScreen(TGIFImage& image) {
    if (image.Width() == 0 || image.Height() == 0) {
        int w = 0, h = 0;
        for (int i = 0; i < image.Images().Count(); ++i) {
            TGIFSubImage* f = image.Images()[i];
            w = std::max(w, f->Left() + f->Width());
            h = std::max(h, f->Top() + f->Height());
        }
        if (image.Width() == 0) image.Header().SetWidth(w);
        if (image.Height() == 0) image.Header().SetHeight(h);
    }
}

} // namespace

void LoadGif(TGIFImage& image, const std::vector<uint8_t>& bytes, int* warnings) {
    ReportWarnings(image, warnings);
    ShowProgress(image);
    TMemoryStream stream(bytes);
    image.LoadFromStream(stream);
    FitEmptyScreen(image);
}

void ScanGif(TGIFImage& image, std::shared_ptr<TStream> stream) {
    ReportWarnings(image);
    image.Scan(std::move(stream));
    FitEmptyScreen(image);
}

void SaveGif(TGIFImage& image, const std::string& path) {
    ShowProgress(image);
    TMemoryStream out;
    image.SaveToStream(out);
    WriteOutput(path, out.Memory(), out.Bytes().size());
}

void WritePicture(const std::string& path, int width, int height, int depth, const std::vector<uint8_t>& samples) {
    if (HasExtension(path, ".png")) {
        std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4, 255);
        for (size_t i = 0, n = size_t(width) * size_t(height); i < n; ++i)
            std::memcpy(&rgba[4 * i], &samples[size_t(depth) * i], size_t(depth));
        xpPng::TPNGImage png;
        png.SetPixels(width, height, std::move(rgba));
        TMemoryStream out;
        png.SaveToStream(out);
        WriteOutput(path, out.Memory(), out.Bytes().size());
        return;
    }
    const std::string head = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) + "\nDEPTH " +
                             std::to_string(depth) + "\nMAXVAL 255\nTUPLTYPE " + (depth == 4 ? "RGB_ALPHA" : "RGB") +
                             "\nENDHDR\n";
    std::vector<uint8_t> bytes(head.begin(), head.end());
    bytes.insert(bytes.end(), samples.begin(), samples.end());
    WriteOutput(path, bytes.data(), bytes.size());
}

int Encode(const Args& args) {
    std::vector<std::string> files;
    TGIFImage image;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--reduction") {
            image.ColorReduction = Number(args, i, "--reduction", 0, rmQuantizeWu);
            // A palette of the caller's own cannot be given here.
            if (image.ColorReduction == rmPalette) throw UsageError("--reduction 9 needs a palette; encode has none");
        } else if (args[i] == "--dither")
            image.DitherMode = Number(args, i, "--dither", 0, 6);
        else if (args[i] == "--bits")
            image.ReductionBits = Number(args, i, "--bits", 1, 8);
        else if (args[i] == "--rle")
            image.Compression = 1;
        else if (args[i] == "--lossy")
            image.Lossiness = Number(args, i, "--lossy", 0, 200);
        else if (args[i].rfind("--", 0) == 0)
            throw UsageError("unknown option " + args[i]);
        else
            files.push_back(args[i]);
    }
    if (files.size() != 2) throw UsageError("encode takes IN and OUT.gif");
    TBitmap bmp;
    ReadPicture(bmp, files[0]);
    image.Assign(&bmp);
    if (image.Empty()) throw Exception("The picture is empty or could not be reduced");
    SaveGif(image, files[1]);
    return 0;
}

int Optimize(const Args& args) {
    std::vector<std::string> files;
    int options = GIFDefaultOptimizeOptions, reduction = 0, lossiness = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--options")
            options = Number(args, i, "--options", 0, 0x3F);
        else if (args[i] == "--lossy")
            lossiness = Number(args, i, "--lossy", 0, 200);
        else if (args[i] == "--reduction")
            reduction = Number(args, i, "--reduction", 0, rmQuantizeWu);
        else if (args[i].rfind("--", 0) == 0)
            throw UsageError("unknown option " + args[i]);
        else
            files.push_back(args[i]);
    }
    if (files.size() != 2) throw UsageError("optimize takes IN and OUT");
    TGIFImage image;
    // Read once: standard input cannot be read a second time.
    const std::vector<uint8_t> input = ReadInput(files[0]);
    int warnings = 0;
    LoadGif(image, input, &warnings);
    image.Optimize(options, reduction);
    // Lossy coding comes last: the frame optimizations compare exact colours.
    image.Lossiness = lossiness;
    TMemoryStream out;
    image.SaveToStream(out);
    // Never larger than what came in: then the input's own bytes are kept,
    // unless reading them needed repairs, which only the new bytes have.
    if (out.Bytes().size() >= input.size() && warnings == 0) {
        std::cerr << "nothing smaller came out: " << files[1] << " keeps the input's " << input.size() << " bytes\n";
        WriteOutput(files[1], input.data(), input.size());
    } else {
        WriteOutput(files[1], out.Memory(), out.Bytes().size());
    }
    return 0;
}

int Frames(const Args& args) {
    if (args.size() != 2) throw UsageError("frames takes IN and PREFIX");
    TGIFImage image;
    LoadGif(image, args[0]);
    if (image.Empty() || image.Width() <= 0 || image.Height() <= 0) throw Exception("The image has no frames");
    CheckSize(uint64_t(image.Width()) * uint64_t(image.Height()) * 3 * uint64_t(image.Images().Count()),
              "The drawn frames of " + args[0]);
    const std::string extension = HasExtension(args[1], ".png") ? ".png" : ".pam";
    const std::string prefix = extension == ".png" ? args[1].substr(0, args[1].size() - 4) : args[1];
    auto clock = std::make_shared<TVirtualClock>();
    auto previous = SetGIFClock(clock);
    TBitmap target;
    target.SetPixelFormat(TPixelFormat::pf24bit);
    target.SetSize(image.Width(), image.Height());
    int written = 0;
    int64_t lastWait = 0;
    image.OnPaint = [&](TPersistent* sender) { lastWait = static_cast<TGIFPainter*>(sender)->LastWait(); };
    image.OnAfterPaint = [&](TPersistent* sender) {
        const int index = static_cast<TGIFPainter*>(sender)->ActiveImage();
        char name[16];
        std::snprintf(name, sizeof name, "-%03d", written++);
        WritePicture(prefix + name + extension, target.Width(), target.Height(), 3, Samples(target));
        std::cout << "frame " << index << " wait " << lastWait << "\n";
    };
    // One pass, without a thread, on a clock that only moves in the waits.
    const uint16_t options = uint16_t((image.DrawOptions | goAnimate) & ~(goAsync | goLoop | goLoopContinously));
    try {
        image.Paint(target.Canvas(), TRect{0, 0, image.Width(), image.Height()}, options);
    } catch (...) {
        SetGIFClock(previous);
        throw;
    }
    SetGIFClock(previous);
    return 0;
}

} // namespace qelgif
