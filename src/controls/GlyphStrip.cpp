#include "controls/GlyphStrip.h"

#include <gtkmm/icontheme.h>

namespace controls {

Glib::RefPtr<Gdk::Pixbuf> GlyphStrip(const Glib::RefPtr<Gdk::Pixbuf>& image) {
    if (!image) return {};
    Glib::RefPtr<Gdk::Pixbuf> source = image->get_has_alpha() ? image : image->add_alpha(false, 0, 0, 0);
    const int w = source->get_width(), h = source->get_height();
    auto strip = Gdk::Pixbuf::create(Gdk::COLORSPACE_RGB, true, 8, w * 4, h);
    strip->fill(0x00000000);
    source->copy_area(0, 0, w, h, strip, 0, 0);
    auto grey = source->copy();
    source->saturate_and_pixelate(grey, 0.0f, false);
    grey->composite(strip, w, 0, w, h, w, 0, 1, 1, Gdk::INTERP_NEAREST, 110);
    if (w > 1 && h > 1) source->copy_area(0, 0, w - 1, h - 1, strip, 2 * w + 1, 1);
    source->copy_area(0, 0, w, h, strip, 3 * w, 0);
    return strip;
}

Glib::RefPtr<Gdk::Pixbuf> ThemedIcon(const std::string& name, int size,
                                     const Glib::RefPtr<Gtk::StyleContext>& style) {
    auto theme = Gtk::IconTheme::get_default();
    if (!theme) return {};
    Gtk::IconInfo info = theme->lookup_icon(name, size, Gtk::ICON_LOOKUP_FORCE_SIZE | Gtk::ICON_LOOKUP_GENERIC_FALLBACK);
    if (!info) return {};
    try {
        bool wasSymbolic = false;
        return style ? info.load_symbolic(style, wasSymbolic) : info.load_icon();
    } catch (const Glib::Error&) {
        return {};
    }
}

} // namespace controls
