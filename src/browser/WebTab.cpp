#include "browser/WebTab.h"

namespace browser {

TWebTab::TWebTab() {
    page.pack_start(popupBar, Gtk::PACK_SHRINK);
    page.pack_start(permissionBar, Gtk::PACK_SHRINK);
    page.pack_start(hungBar, Gtk::PACK_SHRINK);
    label.set_ellipsize(Pango::ELLIPSIZE_END);
    label.set_width_chars(12);
    label.set_max_width_chars(24);
    label.set_xalign(0);
    closeButton.set_image_from_icon_name("window-close-symbolic", Gtk::ICON_SIZE_MENU);
    closeButton.set_relief(Gtk::RELIEF_NONE);
    closeButton.set_focus_on_click(false);
    closeButton.set_tooltip_text("Close tab");
    loadingMark.set_no_show_all(true);
    labelInner.pack_start(loadingMark, Gtk::PACK_SHRINK);
    labelInner.pack_start(label, Gtk::PACK_EXPAND_WIDGET);
    labelInner.pack_start(closeButton, Gtk::PACK_SHRINK);
    labelBox.add(labelInner);
    labelBox.set_visible_window(false);
    labelBox.add_events(Gdk::BUTTON_PRESS_MASK);
    labelBox.show_all();
    ShowLabel();
}

void TWebTab::ShowLabel() {
    std::string text = !title.empty() ? title : !url.empty() ? url : "New tab";
    label.set_text(text);
    labelBox.set_tooltip_text(text);
}

void TWebTab::ShowLoading(bool loading) {
    loadingMark.set_visible(loading);
    if (loading)
        loadingMark.start();
    else
        loadingMark.stop();
}

} // namespace browser
