#pragma once
// A speed button's picture from one image: the four glyphs side by side
// that TSpeedButton takes (normal, disabled, pressed, held down), so that a
// themed icon serves as a glyph like a drawn bitmap does.
#include <gdkmm/pixbuf.h>
#include <gtkmm/stylecontext.h>

#include <string>

namespace controls {

// normal as it is; disabled faded to grey; pressed moved one pixel right
// and down; held down as normal.
Glib::RefPtr<Gdk::Pixbuf> GlyphStrip(const Glib::RefPtr<Gdk::Pixbuf>& image);

// The named icon of the current theme at the size, coloured for the style
// (symbolic icons take the text colour); empty when the theme has none.
Glib::RefPtr<Gdk::Pixbuf> ThemedIcon(const std::string& name, int size,
                                     const Glib::RefPtr<Gtk::StyleContext>& style);

} // namespace controls
