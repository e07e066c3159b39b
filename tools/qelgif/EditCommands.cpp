// qelgif edit, explode and merge: small changes made through the image
// model, so that everything not asked for stays as it was.
#include "GifCommands.h"
#include "ToolIO.h"
#include "platform/Exception.h"
#include "xpGif10/GifImage.h"

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace platform;
using namespace xpGif10;

namespace qelgif {

namespace {

// The frames that hold pixels (not a trailing block of extensions).
std::vector<TGIFSubImage*> Pictures(TGIFImage& image) {
    std::vector<TGIFSubImage*> frames;
    for (int i = 0; i < image.Images().Count(); ++i)
        if (!image.Images()[i]->Empty()) frames.push_back(image.Images()[i]);
    return frames;
}

// A new image with the source's logical screen and global colours.
void CopyScreen(TGIFImage& to, TGIFImage& from) {
    to.Header().SetWidth(from.Width());
    to.Header().SetHeight(from.Height());
    to.Header().SetBackgroundColorIndex(from.Header().BackgroundColorIndex());
    to.Header().SetAspectRatio(from.Header().AspectRatio());
    to.GlobalColorMap().Assign(&from.GlobalColorMap());
}

} // namespace

int Edit(const Args& args) {
    std::vector<std::string> files;
    std::optional<int> delay, loop;
    std::vector<std::string> comments;
    bool noComments = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--delay")
            delay = Number(args, i, "--delay", 0, 65535);
        else if (args[i] == "--loop")
            loop = Number(args, i, "--loop", 0, 65535);
        else if (args[i] == "--comment") {
            if (i + 1 >= args.size()) throw UsageError("--comment needs a text");
            comments.push_back(args[++i]);
        } else if (args[i] == "--no-comments")
            noComments = true;
        else if (args[i].rfind("--", 0) == 0)
            throw UsageError("unknown option " + args[i]);
        else
            files.push_back(args[i]);
    }
    if (files.size() != 2) throw UsageError("edit takes IN and OUT");
    TGIFImage image;
    LoadGif(image, files[0]);
    if (image.Empty()) throw Exception("The image has no frames");
    std::vector<TGIFSubImage*> frames = Pictures(image);
    if (delay)
        for (TGIFSubImage* f : frames) ControlExtensionOf(*f).SetDelay(uint16_t(*delay));
    if (noComments)
        for (int i = 0; i < image.Images().Count(); ++i) {
            TGIFExtensionList& list = image.Images()[i]->Extensions();
            for (int e = list.Count() - 1; e >= 0; --e)
                if (dynamic_cast<TGIFCommentExtension*>(list[e])) list.Delete(e);
        }
    TGIFSubImage* first = image.Images()[0];
    if (loop) {
        // One loop count, on the first frame where players look for it.
        TGIFAppExtNSLoop* kept = nullptr;
        for (int i = 0; i < image.Images().Count(); ++i) {
            TGIFExtensionList& list = image.Images()[i]->Extensions();
            for (int e = list.Count() - 1; e >= 0; --e)
                if (auto* l = dynamic_cast<TGIFAppExtNSLoop*>(list[e])) {
                    if (i == 0 && !kept)
                        kept = l;
                    else
                        list.Delete(e);
                }
        }
        if (!kept) {
            auto made = std::make_unique<TGIFAppExtNSLoop>(first);
            kept = made.get();
            first->Extensions().Insert(0, std::move(made));
        }
        kept->Loops = uint16_t(*loop);
    }
    for (const std::string& text : comments) {
        auto comment = std::make_unique<TGIFCommentExtension>(first);
        comment->Text.Lines = {text};
        first->Extensions().Add(std::move(comment));
    }
    SaveGif(image, files[1]);
    return 0;
}

int Explode(const Args& args) {
    if (args.size() != 2) throw UsageError("explode takes IN and PREFIX");
    TGIFImage image;
    LoadGif(image, args[0]);
    std::vector<TGIFSubImage*> frames = Pictures(image);
    if (frames.empty()) throw Exception("The image has no frames");
    const std::string prefix = HasExtension(args[1], ".gif") ? args[1].substr(0, args[1].size() - 4) : args[1];
    for (size_t i = 0; i < frames.size(); ++i) {
        TGIFImage one;
        CopyScreen(one, image);
        auto frame = std::make_unique<TGIFSubImage>(&one);
        frame->Assign(frames[i]);
        // A loop count means nothing in a single picture.
        for (int e = frame->Extensions().Count() - 1; e >= 0; --e)
            if (dynamic_cast<TGIFAppExtNSLoop*>(frame->Extensions()[e])) frame->Extensions().Delete(e);
        one.Add(std::move(frame));
        char name[32];
        std::snprintf(name, sizeof name, "-%03zu.gif", i);
        SaveGif(one, prefix + name);
    }
    return 0;
}

int Merge(const Args& args) {
    if (args.size() < 2) throw UsageError("merge takes OUT and one or more IN");
    TGIFImage out;
    for (size_t n = 1; n < args.size(); ++n) {
        TGIFImage in;
        LoadGif(in, args[n]);
        if (n == 1) CopyScreen(out, in);
        out.Header().SetWidth(std::max(out.Width(), in.Width()));
        out.Header().SetHeight(std::max(out.Height(), in.Height()));
        const bool sameColours = in.GlobalColorMap().Count() == out.GlobalColorMap().Count() &&
                                 std::equal(in.GlobalColorMap().Data(),
                                            in.GlobalColorMap().Data() + in.GlobalColorMap().Count(),
                                            out.GlobalColorMap().Data());
        for (int i = 0; i < in.Images().Count(); ++i) {
            TGIFSubImage* source = in.Images()[i];
            auto frame = std::make_unique<TGIFSubImage>(&out);
            frame->Assign(source);
            // Frames drawn through another file's global colours take them
            // along as their own.
            if (!frame->Empty() && frame->ColorMap().Count() == 0 && !sameColours)
                frame->ColorMap().Assign(&in.GlobalColorMap());
            // The first file's loop count stands for the whole.
            if (n > 1)
                for (int e = frame->Extensions().Count() - 1; e >= 0; --e)
                    if (dynamic_cast<TGIFAppExtNSLoop*>(frame->Extensions()[e])) frame->Extensions().Delete(e);
            out.Add(std::move(frame));
        }
    }
    SaveGif(out, args[0]);
    return 0;
}

} // namespace qelgif
