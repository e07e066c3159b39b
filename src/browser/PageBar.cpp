#include "browser/PageBar.h"

#include "browser/AppErrors.h"

#include <gtkmm/cssprovider.h>

namespace browser {

TPageBar::TPageBar() : Gtk::Box(Gtk::ORIENTATION_HORIZONTAL, 6) {
    set_name("PageBar");
    set_border_width(3);
    text_.set_xalign(0);
    text_.set_ellipsize(Pango::ELLIPSIZE_MIDDLE);
    text_.set_selectable(false);
    close_.set_image_from_icon_name("window-close-symbolic", Gtk::ICON_SIZE_MENU);
    close_.set_relief(Gtk::RELIEF_NONE);
    close_.set_tooltip_text("Close this bar");
    pack_start(text_, Gtk::PACK_EXPAND_WIDGET);
    pack_start(first_, Gtk::PACK_SHRINK);
    pack_start(second_, Gtk::PACK_SHRINK);
    pack_start(close_, Gtk::PACK_SHRINK);
    auto style = Gtk::CssProvider::create();
    style->load_from_data("#PageBar { background: #fdf3c8; border-bottom: 1px solid #c8b66a; }");
    get_style_context()->add_provider(style, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    // Each answer is taken out before it runs: it may ask again at once.
    auto answer = [this](std::function<void()>& slot) {
        std::function<void()> run = std::move(slot);
        onFirst_ = nullptr;
        onSecond_ = nullptr;
        hide();
        if (run) RunGuarded(run);
    };
    first_.signal_clicked().connect([this, answer] { answer(onFirst_); });
    second_.signal_clicked().connect([this, answer] { answer(onSecond_); });
    // Closing the bar is the second answer where there is one (Deny, Wait).
    close_.signal_clicked().connect([this, answer] { answer(onSecond_); });
    show_all_children();
    set_no_show_all(true);
    hide();
}

void TPageBar::Ask(const std::string& text, const std::string& first, std::function<void()> onFirst,
                   const std::string& second, std::function<void()> onSecond) {
    text_.set_text(text);
    text_.set_tooltip_text(text);
    first_.set_label(first);
    first_.set_visible(!first.empty());
    second_.set_label(second);
    second_.set_visible(!second.empty());
    onFirst_ = std::move(onFirst);
    onSecond_ = std::move(onSecond);
    show();
}

void TPageBar::Dismiss() {
    onFirst_ = nullptr;
    onSecond_ = nullptr;
    hide();
}

} // namespace browser
