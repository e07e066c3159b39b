#include "browser/Web080.h"

#include "browser/AppErrors.h"
#include "platform/Exception.h"
#include "platform/SysUtils.h"

#include <gdk/gdkkeysyms.h>
#include <gtkmm/cssprovider.h>
#include <pangomm/attrlist.h>

#include <cmath>
#include <memory>

namespace browser {

using platform::FormatFloat;
using platform::IntToStr;

namespace {
// Four decimals, at least one integer digit, a blank before the last three
// integer places.
std::string F(double v) { return FormatFloat("### ##0.0000", v); }

// Pixels per inch assumed for a display that does not tell its size: the
// toolkit's own default.
constexpr double kFallbackDpi = 96.0;

void SetLabelFont(Gtk::Label& label, const char* family, int pixels, bool boldItalic = false) {
    Pango::FontDescription font;
    font.set_family(family);
    font.set_absolute_size(pixels * PANGO_SCALE);
    if (boldItalic) {
        font.set_weight(Pango::WEIGHT_BOLD);
        font.set_style(Pango::STYLE_ITALIC);
    }
    Pango::AttrList attrs;
    auto fontAttr = Pango::Attribute::create_attr_font_desc(font);
    attrs.insert(fontAttr);
    auto black = Pango::Attribute::create_attr_foreground(0, 0, 0);
    attrs.insert(black);
    label.set_attributes(attrs);
}

// The largest size up to the given one at which the label's text fits the
// width: the form's fonts are not on every system, and a wider one must not
// push the text out of the box.
void SetFittingFont(Gtk::Label& label, const char* family, int pixels, bool boldItalic, int width) {
    for (int size = pixels; size >= 8; --size) {
        SetLabelFont(label, family, size, boldItalic);
        int w = 0, h = 0;
        label.get_layout()->get_pixel_size(w, h);
        if (w <= width) return;
    }
}
} // namespace

int64_t RoundHalfEvenDiv(int64_t num, int64_t den) {
    if (den == 0) throw platform::Exception("Division by zero");
    if (den < 0) {
        num = -num;
        den = -den;
    }
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) {
        q -= 1;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
    return q;
}

ScreenMeasure MeasureScreen(const platform::IScreenService& screen) {
    ScreenMeasure m;
    m.width = screen.ScreenWidth();
    m.height = screen.ScreenHeight();
    if (m.width <= 0 || m.height <= 0) throw platform::Exception("The screen reports no size");
    double wmm = screen.WidthMM();
    double hmm = screen.HeightMM();
    // Without a physical size every ratio below would divide by zero; take
    // the toolkit's default resolution instead.
    if (wmm <= 0 || hmm <= 0) {
        wmm = m.width * 25.4 / kFallbackDpi;
        hmm = m.height * 25.4 / kFallbackDpi;
    }
    // The point (W, H) in hundredths of a millimetre and thousandths of an
    // inch, the y axis pointing up as in the classic mapping modes.
    m.mx = static_cast<int>(std::llround(wmm * 100.0));
    m.my = -static_cast<int>(std::llround(hmm * 100.0));
    m.ix = static_cast<int>(std::llround(wmm * 1000.0 / 25.4));
    m.iy = -static_cast<int>(std::llround(hmm * 1000.0 / 25.4));
    if (m.my == 0) throw platform::Exception("The screen reports no height");
    m.diagonal = std::sqrt(static_cast<double>(m.ix) * m.ix + static_cast<double>(m.iy) * m.iy);
    return m;
}

std::string RatioText(int r) {
    switch (r) {
    case 133: return "4/3 ( Letterbox )";
    case 160: return "16/10";
    case 178: return "1.78 ( Wide )";
    default: return FormatFloat("0.00", r / 100.0);
    }
}

std::string ScreenText(const platform::IScreenService& screen) {
    ScreenMeasure m = MeasureScreen(screen);
    const std::string crlf = "\r\n";
    std::string s = "Screen : " + IntToStr(m.width) + " x " + IntToStr(m.height) + " pixels on " +
                    F(m.diagonal / 1000.0) + " inch screen" + crlf;
    s += "- " + F(m.mx / 100.0) + " x " + F(-m.my / 100.0) + " mm " + crlf;
    s += "- " + F(m.ix / 1000.0) + " x " + F(-m.iy / 1000.0) + " inch" + crlf;
    s += "- physical ratio = " + RatioText(static_cast<int>(RoundHalfEvenDiv(int64_t{m.mx} * 100, -int64_t{m.my}))) +
         crlf;
    s += "- screen resolution = " +
         RatioText(static_cast<int>(RoundHalfEvenDiv(int64_t{m.width} * 100, int64_t{m.height})));
    return s;
}

std::string OSVersionText(const platform::OSVersionInfo& info) {
    switch (info.PlatformId) {
    case 1:
    case 2: {
        // The NT family is this system's own kernel, named by the version query.
        std::string name = info.PlatformId == 1 ? " Windows 95" : (info.Name.empty() ? " Windows NT" : info.Name);
        int build = info.PlatformId == 1 ? (info.Build & 0xFFFF) : info.Build;
        if (info.CSDVersion.empty()) {
            return platform::Format("%s %d.%d (Build %d) ", name.c_str(), info.Major, info.Minor, build);
        }
        return platform::Format("%s %d.%d (Build %d: %s) ", name.c_str(), info.Major, info.Minor, build,
                                info.CSDVersion.c_str());
    }
    default: return platform::Format("%s %d.%d ", " Windows", info.Major, info.Minor);
    }
}

std::string MemoryText(uint64_t totalPhys) {
    // All 64 bits: machines have more than 4 GB.
    return FormatFloat("#,###\" KB\"", static_cast<double>(totalPhys >> 10));
}

std::string CopyrightText() {
    return "Qel Browser: a small web browser for Linux\r\n"
           "WebKitGTK pages, own GIF codec, libjpeg";
}

TWeb080::TWeb080() {
    Build();
    FormCreate();
}

TWeb080::TWeb080(Gtk::Window& owner) {
    set_transient_for(owner);
    Build();
    FormCreate();
}

void TWeb080::Build() {
    set_name("Web080");
    set_title("About Qel Browser");
    set_resizable(false);
    set_modal(true);
    set_position(Gtk::WIN_POS_CENTER);
    set_type_hint(Gdk::WINDOW_TYPE_HINT_DIALOG);

    client_.set_size_request(336, 223);
    auto* area = get_content_area();
    area->set_border_width(0);
    area->set_spacing(0);
    area->pack_start(client_, true, true);
    // The dialog's own button row, even empty, would add to the client area.
    get_action_area()->hide();
    if (Gtk::Widget* row = get_action_area()->get_parent(); row && row != area) row->hide();

    lCpy.set_use_underline(false);
    lCpy.set_xalign(0);
    SetLabelFont(lCpy, "Arial", 11);
    client_.put(lCpy, 14, 89);

    Bevel1.set_size_request(251, 2);
    client_.put(Bevel1, 54, 132);

    Label3.set_text("Memory Available to Windows:");
    Label3.set_xalign(0);
    SetLabelFont(Label3, "Arial", 11);
    client_.put(Label3, 14, 68);

    // Right-justified in a box whose right edge is where "0" ends when
    // placed at 259: a longer text grows to the left.
    lMem.set_text("0");
    lMem.set_xalign(1);
    lMem.set_size_request(100, -1);
    SetLabelFont(lMem, "Arial", 11);
    client_.put(lMem, 165, 68);

    // One line: a long system name is shortened at its end, and shown
    // whole in the tooltip.
    lOS.set_text("OS");
    lOS.set_xalign(0);
    lOS.set_ellipsize(Pango::ELLIPSIZE_END);
    lOS.set_size_request(336 - 14 - 4, -1);
    lOS.set_max_width_chars(1);
    SetLabelFont(lOS, "Arial", 11);
    lOS.property_label().signal_changed().connect([this] { lOS.set_tooltip_text(lOS.get_text()); });
    client_.put(lOS, 14, 47);

    lNam.set_text(" Qel Web Browser ");
    lNam.set_size_request(294, 36);
    lNam.set_xalign(0);
    SetFittingFont(lNam, "Arial", 32, true, 294);
    client_.put(lNam, 26, 5);

    lScr.set_xalign(0);
    SetLabelFont(lScr, "Arial", 11);
    client_.put(lScr, 10, 141);

    OKButton.set_label("OK");
    OKButton.set_size_request(75, 25);
    // The theme's buttons are taller than the form's; this one keeps 25.
    auto slim = Gtk::CssProvider::create();
    slim->load_from_data("button { min-height: 0; padding-top: 0; padding-bottom: 0; }");
    OKButton.get_style_context()->add_provider(slim, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    OKButton.set_can_default(true);
    OKButton.signal_clicked().connect([this] { response(Gtk::RESPONSE_OK); });
    client_.put(OKButton, 260, 183);

    pBox.SetBevelOuter(controls::bvLowered);
    pBox.SetDoubleBuffered(false);
    pBox.SetAutoSize(true);
    for (int i = 0; i < 5; ++i) pBox.SetMargin(i, 0);
    pBox.SetTransParent(false);
    pBox.SetBounds(2, 4, 19, 17);
    client_.put(pBox, 2, 4);

    client_.show_all();
    set_default(OKButton);
    OKButton.grab_focus();
}

void TWeb080::FormCreate() {
    try {
        ShowSystemInfo();
    } catch (...) {
        // The box still opens; the labels not reached keep their captions.
        ShowCurrentException();
    }
}

void TWeb080::ShowSystemInfo() {
    lScr.set_text(ScreenText(platform::ScreenService()));
    lCpy.set_text(CopyrightText());
    // Two lines between the memory line and the rule; a font wider than
    // the form's is made smaller rather than run past the box's edge.
    SetFittingFont(lCpy, "Arial", 11, false, 336 - 14 - 4);
    ShowOSVersion();
    lMem.set_text(MemoryText(platform::GlobalMemoryStatus().TotalPhys));
}

void TWeb080::ShowOSVersion() { lOS.set_text(OSVersionText(platform::GetVersionEx())); }

bool TWeb080::on_key_press_event(GdkEventKey* event) {
    // Enter and Esc both close the box with OK.
    switch (event->keyval) {
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
    case GDK_KEY_Escape:
        response(Gtk::RESPONSE_OK);
        return true;
    default:
        return Gtk::Dialog::on_key_press_event(event);
    }
}

void ShowAbout(Gtk::Window& owner) {
    // Owned here: freed when the modal loop ends or when showing fails.
    auto box = std::make_unique<TWeb080>(owner);
    box->run();
}

} // namespace browser
