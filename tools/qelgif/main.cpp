// qelgif: GIF files through the program's own GIF library.
// Each command is one entry of the table below; a new command is a new
// function and a new entry.
#include "GifCommands.h"
#include "platform/Exception.h"
#include "ToolIO.h"
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifUnit.h"

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
                  << (gce ? gce->Delay() : 0) << " disposal " << (gce ? gce->Disposal() : 0) << "\n";
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

struct Command {
    const char* name;
    const char* usage;
    const char* help;
    std::function<int(const Args&)> run;
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
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
         Copy},
        {"encode", "encode IN OUT.gif [--reduction N] [--dither N] [--bits N] [--rle]",
         "Converts a PPM, PAM (RGB or RGB_ALPHA), BMP, JPEG or PNG picture into a GIF: a\n"
         "      bitmap of more than 8 bits per pixel is reduced by method N (0 none, 1 the\n"
         "      20 system colours, 2 halftone, 3 four greys, 4 black and white, 5 greys,\n"
         "      6 web palette (default), 7 octree quantization to 2^bits colours, 8 octree\n"
         "      with the system colours) and dither mode N (0 nearest (default),\n"
         "      1 Floyd-Steinberg, 2 Stucki, 3 Sierra, 4 Jarvis-Judice-Ninke,\n"
         "      5 Stevenson-Arce, 6 Burkes); see-through PAM and PNG pixels (alpha below\n"
         "      half) become transparent.",
         qelgif::Encode},
        {"optimize", "optimize IN OUT [--options N] [--reduction N]",
         "Shrinks the image and saves it: options (default 0x3F) add 0x01 crop\n"
         "      transparent frames, 0x02 merge frames with earlier ones, 0x04 drop needless\n"
         "      extensions and frames, 0x08 sort colour maps by use, 0x10 reduce colours,\n"
         "      0x20 keep of each frame only what it changes in the picture drawn before.\n"
         "      What is drawn stays the same; when nothing smaller comes out, OUT gets\n"
         "      IN's bytes (and stderr says so).",
         qelgif::Optimize},
        {"frames", "frames IN PREFIX[.png]",
         "Plays the animation once on a virtual clock into a picture of the image's\n"
         "      size and writes each state as PREFIX-NNN.pam (TUPLTYPE RGB), or as\n"
         "      PREFIX-NNN.png when PREFIX ends in .png, printing \"frame INDEX wait MS\"\n"
         "      per frame: the frame and the wait before it.",
         qelgif::Frames},
        {"edit", "edit IN OUT [--delay N] [--loop N] [--comment TEXT]... [--no-comments]",
         "Sets every frame's delay (in hundredths of a second), the loop count (0\n"
         "      for ever), adds comments or drops all of them; everything else stays.",
         qelgif::Edit},
        {"explode", "explode IN PREFIX",
         "Writes each frame as a GIF of its own, PREFIX-NNN.gif, with the file's\n"
         "      screen and global colours.",
         qelgif::Explode},
        {"merge", "merge OUT IN...",
         "Puts the frames of every IN one after another into OUT; the screen grows to\n"
         "      the largest, frames keep their colours, the first file's loop count stays.",
         qelgif::Merge},
        {"view", "view FILE",
         "Shows the file in a window and plays it (needs the GTK build).",
         qelgif::View},
    };
    return commands;
}

void Help(std::ostream& os) {
    os << "Usage: qelgif COMMAND ARGS...\n\nCommands:\n";
    for (const auto& c : Commands()) os << "  " << c.usage << "\n      " << c.help << "\n";
    os << "\nA file name of - is standard input or output; pipes are read to their end.\n"
          "An output or picture of more than 1 GiB stops the command before it starts\n"
          "unless --force is given (anywhere on the line). A FIFO or device is refused\n"
          "as output. On a terminal, long loads and saves show their progress on stderr.\n"
          "Warnings print on stderr as \"warning: MESSAGE\" and the command goes on;\n"
          "an error prints its message on stderr and the exit status is 1.\n"
          "qelgif --version prints the version.\n";
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
    for (const auto& c : Commands()) {
        if (args[0] != c.name) continue;
        try {
            return c.run(Args(args.begin() + 1, args.end()));
        } catch (const UsageError& e) {
            std::cerr << e.what() << "\nusage: qelgif " << c.usage << "\n";
            return 1;
        } catch (const std::exception& e) {
            std::cerr << e.what() << "\n";
            return 1;
        }
    }
    std::cerr << "unknown command: " << args[0] << " (see qelgif --help)\n";
    return 1;
}
