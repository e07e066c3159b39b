// qelgif encode, optimize and frames.
#include "GifCommands.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/SafeSave.h"
#include "platform/Streams.h"
#include "xpGif10/GifClock.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifPainter.h"
#ifdef QELGIF_JPEG
#include "xpJpeg/JpegImage.h"
#endif

#include <cstdio>
#include <iostream>
#include <set>

using namespace platform;
using namespace xpGif10;

namespace qelgif {

namespace {

int Number(const Args& args, size_t& i, const std::string& name) {
    if (i + 1 >= args.size()) throw UsageError(name + " needs a number");
    try {
        size_t used = 0;
        int v = std::stoi(args[++i], &used, 0);
        if (used != args[i].size()) throw std::invalid_argument(args[i]);
        return v;
    } catch (const std::logic_error&) {
        throw UsageError(name + " needs a number, not \"" + args[i] + "\"");
    }
}

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

// Reads IN by its first bytes: PPM (P6), PAM (P7), BMP or JPEG.
void ReadPicture(TBitmap& bmp, const std::string& path) {
    std::vector<uint8_t> bytes = ReadFileBytes(path);
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '6') return ReadPPM(bmp, bytes);
    if (bytes.size() >= 2 && bytes[0] == 'P' && bytes[1] == '7') return ReadPAM(bmp, bytes);
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        TMemoryStream s(std::move(bytes));
        bmp.LoadFromStream(s);
        return;
    }
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) {
#ifdef QELGIF_JPEG
        TMemoryStream s(std::move(bytes));
        xpJpeg::TJPEGImage jpeg;
        jpeg.LoadFromStream(s);
        bmp.Assign(&jpeg.Bitmap());
        return;
#else
        throw Exception("JPEG input is not available in this build");
#endif
    }
    throw Exception("Unknown picture format (PPM, PAM, BMP or JPEG expected): " + path);
}

void LoadGif(TGIFImage& image, const std::string& path) {
    image.OnWarning = [](TGIFImage*, TPersistent*, int, const std::string& message) {
        std::cerr << "warning: " << message << "\n";
    };
    TMemoryStream stream;
    stream.LoadFromFile(path);
    image.LoadFromStream(stream);
}

void SaveGif(TGIFImage& image, const std::string& path) {
    TMemoryStream out;
    image.SaveToStream(out);
    WriteWholeFile(path, out.Memory(), out.Bytes().size());
}

void WritePAM(const std::string& path, const TBitmap& bmp) {
    std::string head = "P7\nWIDTH " + std::to_string(bmp.Width()) + "\nHEIGHT " + std::to_string(bmp.Height()) +
                       "\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n";
    std::vector<uint8_t> bytes(head.begin(), head.end());
    bytes.reserve(bytes.size() + size_t(bmp.Width()) * size_t(bmp.Height()) * 3);
    for (int y = 0; y < bmp.Height(); ++y)
        for (int x = 0; x < bmp.Width(); ++x) {
            TColor c = bmp.GetPixel(x, y);
            bytes.insert(bytes.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
        }
    WriteWholeFile(path, bytes.data(), bytes.size());
}

} // namespace

int Encode(const Args& args) {
    std::vector<std::string> files;
    TGIFImage image;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--reduction")
            image.ColorReduction = Number(args, i, "--reduction");
        else if (args[i] == "--dither")
            image.DitherMode = Number(args, i, "--dither");
        else if (args[i] == "--bits")
            image.ReductionBits = Number(args, i, "--bits");
        else if (args[i] == "--rle")
            image.Compression = 1;
        else if (args[i].rfind("--", 0) == 0)
            throw UsageError("unknown option " + args[i]);
        else
            files.push_back(args[i]);
    }
    if (files.size() != 2) throw UsageError("encode takes IN and OUT.gif");
    if (image.ColorReduction < 0 || image.ColorReduction > 8)
        throw UsageError("--reduction takes 0 to 8 (9 needs a palette)");
    if (image.DitherMode < 0 || image.DitherMode > 6) throw UsageError("--dither takes 0 to 6");
    if (image.ReductionBits < 1 || image.ReductionBits > 8) throw UsageError("--bits takes 1 to 8");
    TBitmap bmp;
    ReadPicture(bmp, files[0]);
    image.Assign(&bmp);
    if (image.Empty()) throw Exception("The picture is empty or could not be reduced");
    SaveGif(image, files[1]);
    return 0;
}

int Optimize(const Args& args) {
    std::vector<std::string> files;
    int options = 0x1F, reduction = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--options")
            options = Number(args, i, "--options");
        else if (args[i] == "--reduction")
            reduction = Number(args, i, "--reduction");
        else if (args[i].rfind("--", 0) == 0)
            throw UsageError("unknown option " + args[i]);
        else
            files.push_back(args[i]);
    }
    if (files.size() != 2) throw UsageError("optimize takes IN and OUT");
    TGIFImage image;
    LoadGif(image, files[0]);
    image.Optimize(options, reduction, image.ReductionBits, nullptr);
    SaveGif(image, files[1]);
    return 0;
}

int Frames(const Args& args) {
    if (args.size() != 2) throw UsageError("frames takes IN and PREFIX");
    TGIFImage image;
    LoadGif(image, args[0]);
    if (image.Empty() || image.Width() <= 0 || image.Height() <= 0) throw Exception("The image has no frames");
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
        std::snprintf(name, sizeof name, "-%03d.pam", written++);
        WritePAM(args[1] + name, target);
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
