// qelgif view: a window that plays the file with a threaded painter. The
// painter hands its drawing to the GTK main loop through the platform's
// synchronisation queue.
#include "GifCommands.h"
#include "gtk/GtkSync.h"
#include "platform/Bitmap.h"
#include "platform/Canvas.h"
#include "platform/Streams.h"
#include "xpGif10/GifImage.h"
#include "xpGif10/GifPainter.h"

#include <gtkmm.h>
#include <iostream>

using namespace platform;
using namespace xpGif10;

namespace qelgif {

namespace {

class ViewWindow : public Gtk::Window {
public:
    ViewWindow(TGIFImage& image, const std::string& title) : image_(image) {
        set_title(title);
        const int w = image.Width(), h = image.Height();
        target_.SetPixelFormat(TPixelFormat::pf24bit);
        target_.SetSize(w, h);
        target_.Canvas().BrushColor = clWhite;
        target_.Canvas().FillRect(TRect{0, 0, w, h});
        area_.set_size_request(w, h);
        area_.signal_draw().connect(sigc::mem_fun(*this, &ViewWindow::OnDraw));
        add(area_);
        show_all();
        // Every drawing step of the painter changes the target here, on the
        // main thread.
        target_.OnChange = [this](TGraphic*) { area_.queue_draw(); };
        const uint16_t options = uint16_t(image.DrawOptions | goAsync | goAnimate | goLoop);
        if (TGIFPainter* p = image.Paint(target_.Canvas(), TRect{0, 0, w, h}, options, &painter_)) p->Start();
    }
    ~ViewWindow() override { image_.StopDraw(); }

private:
    bool OnDraw(const Cairo::RefPtr<Cairo::Context>& cr) {
        const int w = target_.Width(), h = target_.Height();
        auto pixbuf = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, false, 8, w, h);
        guint8* pixels = pixbuf->get_pixels();
        const int stride = pixbuf->get_rowstride();
        for (int y = 0; y < h; ++y) {
            const uint8_t* src = target_.ScanLine(y);
            guint8* dst = pixels + y * stride;
            for (int x = 0; x < w; ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        }
        Gdk::Cairo::set_source_pixbuf(cr, pixbuf, 0, 0);
        cr->paint();
        return true;
    }

    TGIFImage& image_;
    TBitmap target_;
    Gtk::DrawingArea area_;
    TGIFPainter* painter_ = nullptr;
};

} // namespace

int View(const Args& args) {
    if (args.size() != 1) throw UsageError("view takes one FILE");
    TGIFImage image;
    image.OnWarning = [](TGIFImage*, TPersistent*, int, const std::string& message) {
        std::cerr << "warning: " << message << "\n";
    };
    TMemoryStream stream;
    stream.LoadFromFile(args[0]);
    image.LoadFromStream(stream);
    if (image.Empty() || image.Width() <= 0 || image.Height() <= 0) throw Exception("The image has no frames");
    auto app = Gtk::Application::create("org.qel.qelgif.view", Gio::APPLICATION_NON_UNIQUE);
    gtkservices::InstallSyncHook();
    gtkservices::SetSyncErrorHandler([](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            std::cerr << x.what() << "\n";
        }
    });
    int status;
    {
        ViewWindow window(image, args[0]);
        status = app->run(window);
    }
    gtkservices::RemoveSyncHook();
    return status;
}

} // namespace qelgif
