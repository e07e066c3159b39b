// qelgif resize, crop, rotate, flip, colors, unoptimize, transparent and
// background: IN is loaded, changed through the library and saved to OUT.
#include "GifCommands.h"
#include "ToolIO.h"
#include "platform/Exception.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifRecolor.h"
#include "xpGif10/GifTransform.h"

#include <cmath>
#include <iostream>
#include <optional>

using namespace platform;
using namespace xpGif10;

namespace qelgif {

namespace {

// Splits the arguments into file names and options; options that take a
// value are listed in withValue. Answers the files, fills options in order.
struct Parsed {
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> options;
};

Parsed Parse(const Args& args, const std::vector<std::string>& withValue, const std::vector<std::string>& flags) {
    Parsed p;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0) {
            p.files.push_back(a);
        } else if (std::find(withValue.begin(), withValue.end(), a) != withValue.end()) {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            p.options.push_back({a, args[++i]});
        } else if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
            p.options.push_back({a, ""});
        } else {
            throw UsageError("unknown option " + a);
        }
    }
    return p;
}

// A whole number of the text within lo..hi, or a usage error naming what.
int Whole(const std::string& text, const std::string& what, int lo, int hi) {
    size_t used = 0;
    long v = 0;
    try {
        v = std::stol(text, &used, 10);
    } catch (const std::logic_error&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || text[0] == '+' || text[0] == '-' || std::isspace(uint8_t(text[0])))
        throw UsageError(what + " needs a number, not \"" + text + "\"");
    if (v < lo || v > hi)
        throw UsageError(what + " takes " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " + text);
    return int(v);
}

int NumberOption(const std::string& name, const std::string& value, int lo, int hi) {
    Args one{name, value};
    size_t i = 0;
    return Number(one, i, name, lo, hi);
}

// IN and OUT first, then the command's own positional values.
void NeedFiles(const Parsed& p, size_t count, const std::string& usage) {
    if (p.files.size() != count) throw UsageError(usage);
}

TGIFImage& Loaded(TGIFImage& image, const std::string& path) {
    LoadGif(image, path);
    if (image.Empty() || image.Width() <= 0 || image.Height() <= 0) throw Exception("The image has no frames");
    return image;
}

} // namespace

int Resize(const Args& args) {
    const Parsed p = Parse(args, {"--method", "--scale", "--dither"}, {});
    TResizeMethod method = TResizeMethod::Nearest;
    std::optional<double> scale;
    int dither = 0;
    for (const auto& [name, value] : p.options) {
        if (name == "--method" && !ResizeMethodOf(value, method))
            throw UsageError("--method takes nearest, box, lanczos or mitchell, not \"" + value + "\"");
        if (name == "--dither") dither = NumberOption(name, value, 0, 6);
        if (name == "--scale") {
            char* end = nullptr;
            const double f = std::strtod(value.c_str(), &end);
            if (value.empty() || *end || !(f > 0) || f > 1000)
                throw UsageError("--scale needs a factor above 0 (at most 1000), not \"" + value + "\"");
            scale = f;
        }
    }
    if (p.files.size() != (scale ? 2u : 3u))
        throw UsageError(scale ? "resize --scale takes IN and OUT" : "resize takes IN, OUT and WxH");
    TGIFImage image;
    Loaded(image, p.files[0]);
    const int oldWidth = image.Width(), oldHeight = image.Height();
    int width = 0, height = 0;
    if (scale) {
        width = int(std::lround(oldWidth * *scale));
        height = int(std::lround(oldHeight * *scale));
    } else {
        // W or H may be _ for the size that keeps the aspect.
        const std::string& size = p.files[2];
        const size_t x = size.find('x');
        if (x == std::string::npos) throw UsageError("the size needs WxH, not \"" + size + "\"");
        const std::string w = size.substr(0, x), h = size.substr(x + 1);
        if (w == "_" && h == "_") throw UsageError("the size needs a width or a height, not \"" + size + "\"");
        if (w != "_") width = Whole(w, "the width", 1, 65535);
        if (h != "_") height = Whole(h, "the height", 1, 65535);
        if (w == "_") width = int(std::lround(double(oldWidth) * height / oldHeight));
        if (h == "_") height = int(std::lround(double(oldHeight) * width / oldWidth));
    }
    width = std::max(1, width);
    height = std::max(1, height);
    if (width > 65535 || height > 65535)
        throw UsageError("the new size " + std::to_string(width) + "x" + std::to_string(height) +
                         " is larger than a GIF holds (65535)");
    if (method != TResizeMethod::Nearest)
        CheckSize(uint64_t(width) * uint64_t(height) * 4 * uint64_t(image.Images().Count()) +
                      uint64_t(oldWidth) * uint64_t(oldHeight) * 4 * uint64_t(image.Images().Count()),
                  "The composed frames of " + p.files[0]);
    else
        CheckSize(uint64_t(width) * uint64_t(height) * uint64_t(image.Images().Count()), "The frames of the result");
    ResizeImage(image, width, height, method, dither);
    SaveGif(image, p.files[1]);
    return 0;
}

int Crop(const Args& args) {
    const Parsed p = Parse(args, {}, {});
    NeedFiles(p, 3, "crop takes IN, OUT and X,Y,WxH");
    const std::string& r = p.files[2];
    const size_t c1 = r.find(','), c2 = c1 == std::string::npos ? c1 : r.find(',', c1 + 1);
    const size_t x = c2 == std::string::npos ? c2 : r.find('x', c2 + 1);
    if (x == std::string::npos) throw UsageError("the rectangle needs X,Y,WxH, not \"" + r + "\"");
    const int left = Whole(r.substr(0, c1), "the rectangle's X", 0, 65535);
    const int top = Whole(r.substr(c1 + 1, c2 - c1 - 1), "the rectangle's Y", 0, 65535);
    const int width = Whole(r.substr(c2 + 1, x - c2 - 1), "the rectangle's width", 1, 65535);
    const int height = Whole(r.substr(x + 1), "the rectangle's height", 1, 65535);
    TGIFImage image;
    Loaded(image, p.files[0]);
    CropImage(image, left, top, width, height);
    SaveGif(image, p.files[1]);
    return 0;
}

int Rotate(const Args& args) {
    const Parsed p = Parse(args, {}, {});
    NeedFiles(p, 3, "rotate takes IN, OUT and 90, 180 or 270");
    const std::string& a = p.files[2];
    if (a != "90" && a != "180" && a != "270") throw UsageError("the angle is 90, 180 or 270, not \"" + a + "\"");
    TGIFImage image;
    Loaded(image, p.files[0]);
    RotateImage(image, std::stoi(a));
    SaveGif(image, p.files[1]);
    return 0;
}

int Flip(const Args& args) {
    const Parsed p = Parse(args, {}, {});
    NeedFiles(p, 3, "flip takes IN, OUT and h or v");
    const std::string& d = p.files[2];
    if (d != "h" && d != "v") throw UsageError("the direction is h or v, not \"" + d + "\"");
    TGIFImage image;
    Loaded(image, p.files[0]);
    FlipImage(image, d == "h");
    SaveGif(image, p.files[1]);
    return 0;
}

int Colors(const Args& args) {
    const Parsed p = Parse(args, {"--dither"}, {"--per-frame"});
    NeedFiles(p, 3, "colors takes IN, OUT and N");
    const int colors = Whole(p.files[2], "the colour count", 2, 256);
    int dither = 0;
    bool perFrame = false;
    for (const auto& [name, value] : p.options) {
        if (name == "--dither") dither = NumberOption(name, value, 0, 6);
        if (name == "--per-frame") perFrame = true;
    }
    TGIFImage image;
    Loaded(image, p.files[0]);
    ReduceImageColors(image, colors, dither, perFrame);
    SaveGif(image, p.files[1]);
    return 0;
}

int Unoptimize(const Args& args) {
    const Parsed p = Parse(args, {}, {});
    NeedFiles(p, 2, "unoptimize takes IN and OUT");
    TGIFImage image;
    Loaded(image, p.files[0]);
    CheckSize(uint64_t(image.Width()) * uint64_t(image.Height()) * 5 * uint64_t(image.Images().Count()),
              "The whole frames of " + p.files[0]);
    UnoptimizeImage(image);
    SaveGif(image, p.files[1]);
    return 0;
}

int Transparent(const Args& args) {
    const Parsed p = Parse(args, {}, {});
    NeedFiles(p, 3, "transparent takes IN, OUT and INDEX, #RRGGBB or none");
    const std::string& what = p.files[2];
    TGIFImage image;
    if (what == "none") {
        Loaded(image, p.files[0]);
        DropTransparency(image);
    } else if (!what.empty() && what[0] == '#') {
        if (what.size() != 7 || what.find_first_not_of("0123456789abcdefABCDEF", 1) != std::string::npos)
            throw UsageError("the colour needs #RRGGBB, not \"" + what + "\"");
        const unsigned long v = std::stoul(what.substr(1), nullptr, 16);
        Loaded(image, p.files[0]);
        if (SetTransparentColour(image, RGB(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v))) == 0)
            throw Exception("No frame has the colour " + what);
    } else {
        const int index = Whole(what, "the transparent index", 0, 255);
        Loaded(image, p.files[0]);
        SetTransparentIndex(image, index);
    }
    SaveGif(image, p.files[1]);
    return 0;
}

int Background(const Args& args) {
    const Parsed p = Parse(args, {}, {});
    NeedFiles(p, 3, "background takes IN, OUT and INDEX");
    const int index = Whole(p.files[2], "the background index", 0, 255);
    TGIFImage image;
    Loaded(image, p.files[0]);
    SetBackgroundIndex(image, index);
    SaveGif(image, p.files[1]);
    return 0;
}

} // namespace qelgif
