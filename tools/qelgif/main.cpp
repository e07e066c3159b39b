// qelgif: GIF files through the program's own GIF library.
// Each command is one entry of the table below; a new command is a new
// function and a new entry.
#include "GifCommands.h"
#include "platform/Exception.h"
#include "ToolIO.h"
#include "common/Commands.h"
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifUnit.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

using namespace platform;
using namespace xpGif10;

namespace {

using qelgif::Args;
using qelgif::UsageError;

// The version letters as the file states them (after an optional 4-byte
// prefix, as the reader allows).
std::string FileVersion(TStream& stream) {
    uint8_t b[10] = {};
    stream.SetPosition(0);
    const int64_t n = stream.Read(b, 10);
    for (int64_t start : {0, 4})
        if (n >= start + 6 && std::toupper(b[start]) == 'G' && std::toupper(b[start + 1]) == 'I' &&
            std::toupper(b[start + 2]) == 'F')
            return std::string(b + start + 3, b + start + 6);
    return "?";
}

int Info(const Args& args) {
    if (args.size() != 1) throw UsageError("info takes one FILE");
    TGIFImage image;
    // Only the blocks are read: no frame's pixels are decoded, and a file
    // is read through a small window rather than held whole.
    const auto stream = qelgif::OpenInput(args[0]);
    qelgif::ScanGif(image, stream);
    std::cout << "version " << FileVersion(*stream) << "\n";
    std::cout << "screen " << image.Width() << " " << image.Height() << " colors " << image.GlobalColorMap().Count()
              << " background " << int(image.Header().BackgroundColorIndex()) << "\n";
    std::vector<std::string> comments;
    bool haveLoop = false;
    int loops = 0;
    for (int i = 0; i < image.Images().Count(); ++i) {
        TGIFSubImage* f = image.Images()[i];
        TGIFGraphicControlExtension* gce = f->GraphicControlExtension();
        for (int e = 0; e < f->Extensions().Count(); ++e) {
            TGIFExtension* ext = f->Extensions()[e];
            if (auto* c = dynamic_cast<TGIFCommentExtension*>(ext))
                for (const auto& line : c->Text.Lines) comments.push_back(line);
            if (auto* l = dynamic_cast<TGIFAppExtNSLoop*>(ext); l && !haveLoop) {
                haveLoop = true;
                loops = l->Loops;
            }
        }
        if (f->Empty() && f->Width() == 0) continue;  // extensions only
        std::cout << "frame " << i << " left " << f->Left() << " top " << f->Top() << " width " << f->Width()
                  << " height " << f->Height() << " interlaced " << (f->Interlaced() ? "yes" : "no") << " colors "
                  << f->ColorMap().Count() << " transparent "
                  << (f->Transparent() ? std::to_string(f->TransparentColorIndex()) : std::string("-")) << " delay "
                  << (gce ? gce->Delay() : 0) << " disposal " << (gce ? gce->Disposal() : dmNone) << "\n";
    }
    if (haveLoop) std::cout << "loop " << loops << "\n";
    for (const auto& c : comments) std::cout << "comment " << c << "\n";
    return 0;
}

int Decode(const Args& args) {
    std::vector<std::string> files;
    int frameIndex = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--frame") {
            frameIndex = qelgif::Number(args, i, "--frame", 0, 65535);
        } else if (args[i].rfind("--", 0) == 0) {
            throw UsageError("unknown option " + args[i]);
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) throw UsageError("decode takes FILE and OUT (.pam or .png)");
    TGIFImage image;
    qelgif::LoadGif(image, files[0]);
    // Frames that hold only extensions are not pictures: count the others.
    std::vector<TGIFSubImage*> frames;
    for (int i = 0; i < image.Images().Count(); ++i)
        if (!image.Images()[i]->Empty()) frames.push_back(image.Images()[i]);
    if (frameIndex < 0 || frameIndex >= int(frames.size()))
        throw GIFException("No frame " + std::to_string(frameIndex) + " (the file has " +
                           std::to_string(frames.size()) + ")");
    TGIFSubImage* f = frames[size_t(frameIndex)];
    TGIFColorMap& map = f->ActiveColorMap();
    const TGIFColor* colors = map.Data();
    int transparent = f->Transparent() ? f->TransparentColorIndex() : -1;
    std::vector<uint8_t> samples;
    samples.reserve(size_t(f->DataSize()) * 4);
    const uint8_t* p = f->Data();
    for (int64_t i = 0; i < f->DataSize(); ++i) {
        int v = p[i];
        TGIFColor c = v < map.Count() ? colors[v] : TGIFColor{};
        samples.insert(samples.end(), {c.Red, c.Green, c.Blue, uint8_t(v == transparent ? 0 : 255)});
    }
    qelgif::WritePicture(files[1], f->Width(), f->Height(), 4, samples);
    return 0;
}

int Copy(const Args& args) {
    std::vector<std::string> files;
    bool rle = false;
    for (const auto& a : args) {
        if (a == "--rle")
            rle = true;
        else
            files.push_back(a);
    }
    if (files.size() != 2) throw UsageError("copy takes IN and OUT");
    TGIFImage image;
    qelgif::LoadGif(image, files[0]);
    image.Compression = rle ? 1 : 0;
    qelgif::SaveGif(image, files[1]);
    return 0;
}

using tools::TCommand;

std::string Hex(int v) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", unsigned(v));
    return text;
}

const tools::TCommandTable& Commands() {
    static const tools::TCommandTable commands({
        {"info", "info FILE",
         "Prints the version, the logical screen (width, height, global colour count,\n"
         "      background index), one line per frame (index, left, top, width, height,\n"
         "      interlaced, local colour count, transparent index or -, delay, disposal),\n"
         "      the loop count when there is one, and each comment line.",
         Info},
        {"decode", "decode FILE OUT [--frame N]",
         "Writes frame N (default 0) as it is stored, not composed with earlier frames,\n"
         "      through its colour table: as PNG when OUT ends in .png, else as PAM\n"
         "      (TUPLTYPE RGB_ALPHA); pixels of the transparent index get alpha 0.\n",
         Decode},
        {"copy", "copy IN OUT [--rle]",
         "Loads IN and saves it to OUT through the library: the lowest version the\n"
         "      content needs, LZW compression, or run-length compression with --rle.",
         Copy, true},
        {"encode", "encode IN OUT.gif [--reduction N] [--dither N] [--bits N] [--rle] [--lossy N]",
         "Converts a PPM, PAM (RGB or RGB_ALPHA), BMP, JPEG or PNG picture into a GIF: a\n"
         "      bitmap of more than 8 bits per pixel is reduced by method N (0 none, 1 the\n"
         "      20 system colours, 2 halftone, 3 four greys, 4 black and white, 5 greys,\n"
         "      6 web palette (default), 7 octree quantization to 2^bits colours, 8 octree\n"
         "      with the system colours, 10 least-error quantization to 2^bits colours)\n"
         "      and dither mode N (0 nearest (default),\n"
         "      1 Floyd-Steinberg, 2 Stucki, 3 Sierra, 4 Jarvis-Judice-Ninke,\n"
         "      5 Stevenson-Arce, 6 Burkes); see-through PAM and PNG pixels (alpha below\n"
         "      half) become transparent. --lossy N (1 to 200) lets written colours\n"
         "      stray from the picture's, more as N grows, for shorter LZW codes.",
         qelgif::Encode},
        {"optimize", "optimize IN OUT [--options N] [--reduction N] [--lossy N]",
         "Shrinks the image and saves it: options (default " + Hex(xpGif10::GIFDefaultOptimizeOptions) +
             ") add 0x01 crop\n"
         "      transparent frames, 0x02 merge frames with earlier ones, 0x04 drop needless\n"
         "      extensions and frames, 0x08 sort colour maps by use, 0x20 keep of each\n"
         "      frame only what it changes in the picture drawn before (0x10 changes\n"
         "      nothing: fewer colours are the colors command's work). Frames are cut\n"
         "      to the logical screen, which never changes. What is drawn stays the\n"
         "      same; when nothing smaller comes out, OUT gets IN's bytes (and stderr\n"
         "      says so) unless reading IN needed repairs. --lossy N (1 to 200), applied after the\n"
         "      frame optimizations, lets each colour written stray from the one drawn\n"
         "      by up to about 0.35 N (RGB distance) for shorter LZW codes.",
         qelgif::Optimize, true},
        {"frames", "frames IN PREFIX[.png]",
         "Plays the animation once on a virtual clock into a picture of the image's\n"
         "      size and writes each state as PREFIX-NNN.pam (TUPLTYPE RGB), or as\n"
         "      PREFIX-NNN.png when PREFIX ends in .png, printing \"frame INDEX wait MS\"\n"
         "      per frame: the frame and the wait before it.",
         qelgif::Frames},
        {"edit", "edit IN OUT [--delay N] [--loop N] [--comment TEXT]... [--no-comments]",
         "Sets every frame's delay (in hundredths of a second), the loop count (0\n"
         "      for ever), adds comments or drops all of them; everything else stays.",
         qelgif::Edit, true},
        {"explode", "explode IN PREFIX",
         "Writes each frame as a GIF of its own, PREFIX-NNN.gif, with the file's\n"
         "      screen and global colours.",
         qelgif::Explode},
        {"merge", "merge OUT IN...",
         "Puts the frames of every IN one after another into OUT; the screen grows to\n"
         "      the largest, frames keep their colours, the first file's loop count stays.",
         qelgif::Merge},
        {"resize", "resize IN OUT WxH|--scale F [--method nearest|box|lanczos|mitchell] [--dither N]",
         "Resizes the screen and every frame; W or H may be _ to keep the aspect.\n"
         "      nearest (default) takes each pixel from the one under its centre and\n"
         "      keeps frames, colours and transparency; box averages the area each pixel\n"
         "      covers (for shrinking), lanczos and mitchell filter smoothly. These three\n"
         "      compose the frames first and quantize the result to one palette of 256\n"
         "      colours (dither mode N as for encode, default 0); each frame then holds\n"
         "      what changes from the one before.",
         qelgif::Resize, true},
        {"crop", "crop IN OUT X,Y,WxH",
         "Keeps the rectangle of the screen at X,Y of W x H pixels; a frame wholly\n"
         "      outside it keeps its time as one see-through pixel.",
         qelgif::Crop, true},
        {"rotate", "rotate IN OUT 90|180|270",
         "Turns the animation clockwise by the angle.",
         qelgif::Rotate, true},
        {"flip", "flip IN OUT h|v",
         "Mirrors the animation left to right (h) or top to bottom (v).",
         qelgif::Flip, true},
        {"colors", "colors IN OUT N [--dither N] [--per-frame]",
         "Reduces to at most N colours (2 to 256, a transparent index counted):\n"
         "      one global palette quantized from all frames, or a table of each frame's\n"
         "      own with --per-frame; dither mode N as for encode (default 0). Frames\n"
         "      are reduced as stored, not composed.",
         qelgif::Colors, true},
        {"unoptimize", "unoptimize IN OUT",
         "Makes every frame a whole picture of the screen, what the animation shows\n"
         "      at that frame (composed from the frames before it); colours stay exact,\n"
         "      in one global table when they fit, else in a table per frame (a frame\n"
         "      showing more than 256 colours is quantized).",
         qelgif::Unoptimize, true},
        {"transparent", "transparent IN OUT INDEX|#RRGGBB|none",
         "Makes INDEX, or the colour in each frame whose table holds it, the\n"
         "      transparent index of every frame; none makes every frame opaque (the\n"
         "      pixels an optimized animation left see-through then show: unoptimize\n"
         "      first).",
         qelgif::Transparent, true},
        {"background", "background IN OUT INDEX",
         "Sets the screen's background index (within the global colour table).",
         qelgif::Background, true},
        {"view", "view FILE",
         "Shows the file in a window and plays it (needs the GTK build).",
         qelgif::View},
    });
    return commands;
}

void Help(std::ostream& os) {
    os << "Usage: qelgif COMMAND ARGS...\n\nCommands:\n";
    for (const auto& c : Commands().All()) os << "  " << c.usage << "\n      " << c.help << "\n";
    os << "\nA file name of - is standard input or output; pipes are read to their end.\n"
          "An output or picture of more than 1 GiB stops the command before it starts\n"
          "unless --force is given (anywhere on the line). A FIFO or device is refused\n"
          "as output. On a terminal, long loads and saves show their progress on stderr.\n"
          "Warnings print on stderr as \"warning: MESSAGE\" and the command goes on;\n"
          "an error prints its message on stderr and the exit status is 1.\n"
          "qelgif --version prints the version.\n"
          "\nqelgif -b COMMAND ARGS... -- FILES... (or --batch) runs a command that takes\n"
          "IN and OUT on each file in place: qelgif -b resize 100x_ -- a.gif b.gif. A\n"
          "file the command fails on is left as it was and named on stderr; the others\n"
          "go on, and the exit status is 1 when any failed.\n";
}

const tools::TErrorPrinter& Errors() {
    static const tools::TErrorPrinter errors(std::cerr, "qelgif", false);
    return errors;
}

// Runs one command and reports its failure; answers the exit status.
int Run(const TCommand& c, const Args& args, const std::string& subject = "") {
    try {
        return c.run(args);
    } catch (const UsageError& e) {
        Errors().Usage(e.what(), c.usage, subject);
    } catch (const std::exception& e) {
        Errors().Error(e.what(), subject);
    }
    return 1;
}

// -b COMMAND ARGS... -- FILES...: each file is IN and OUT. The command saves
// through the safe save, so a file it fails on keeps its old content.
int Batch(const Args& args) {
    if (args.size() < 2) {
        Errors().Error("batch needs a COMMAND, -- and FILES (see qelgif --help)");
        return 1;
    }
    const TCommand* c = Commands().Find(args[1]);
    if (!c || !c->inPlace) {
        Errors().Error("batch runs a command that takes IN and OUT, not " + args[1] + " (see qelgif --help)");
        return 1;
    }
    auto dashes = std::find(args.begin() + 2, args.end(), "--");
    if (dashes == args.end() || dashes + 1 == args.end()) {
        Errors().Error("batch needs -- and at least one file after the command's arguments");
        return 1;
    }
    const Args options(args.begin() + 2, dashes);
    int failed = 0, files = 0;
    for (auto f = dashes + 1; f != args.end(); ++f, ++files) {
        if (*f == "-") {
            Errors().Error("batch changes files in place, not standard input", "-");
            ++failed;
            continue;
        }
        Args one{*f, *f};
        one.insert(one.end(), options.begin(), options.end());
        if (Run(*c, one, *f) != 0) ++failed;
    }
    if (failed)
        Errors().Error(std::to_string(failed) + " of " + std::to_string(files) +
                       " files failed and were left as they were");
    return failed ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    Args args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--force") == 0)
            qelgif::SetForce(true);
        else
            args.push_back(argv[i]);
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        Help(args.empty() ? std::cerr : std::cout);
        return args.empty() ? 1 : 0;
    }
    if (args[0] == "--version") {
        std::cout << "qelgif " << QELGIF_VERSION << "\n";
        return 0;
    }
    GifUnit unit;
    if (args[0] == "-b" || args[0] == "--batch") return Batch(args);
    if (const TCommand* c = Commands().Find(args[0])) return Run(*c, Args(args.begin() + 1, args.end()));
    Errors().Error("unknown command: " + args[0] + " (see qelgif --help)");
    return 1;
}
