#pragma once
// One page of the main window: its web control (none while the tab has
// given its page up), the bars above it, its label in the tab strip, and
// what the window shows while it is the current tab: caption, status text,
// address, the state of Back, Forward and Stop.
#include "browser/PageBar.h"
#include "browser/WebControl.h"

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/eventbox.h>
#include <gtkmm/label.h>
#include <gtkmm/spinner.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace browser {

struct TWebTab {
    TWebTab();

    std::unique_ptr<WebControl> control;

    Gtk::Box page{Gtk::ORIENTATION_VERTICAL};  // what the tab strip shows
    TPageBar popupBar;
    TPageBar permissionBar;
    TPageBar hungBar;
    Gtk::EventBox labelBox;  // middle click closes
    Gtk::Box labelInner{Gtk::ORIENTATION_HORIZONTAL, 4};
    Gtk::Spinner loadingMark;
    Gtk::Label label;
    Gtk::Button closeButton;

    // What the window shows for this tab.
    std::string caption = "Qel Browser";
    std::string status;
    std::string address;
    bool back = true, forward = true, stop = true;
    bool userNavigate = false;  // FUserNavigate of this tab's page

    // What is kept when the page is given up, and what the session saves.
    std::string url;
    std::string title;
    std::string history;  // the engine's own back/forward bytes
    std::string visited;  // the page of the last visit recorded, for its title

    int blocked = 0;           // requests the content filter stopped on the page
    bool responsive = true;
    int64_t hiddenSince = 0;   // monotonic microseconds; 0 while shown
    bool closeAsked = false;   // the window asked this page whether it may go
    TWebTab* openedFrom = nullptr;  // the page that opened this one: shown again when this closes

    struct Question {
        std::string site, what;
        std::function<void(bool)> answer;
    };
    std::deque<Question> questions;  // permission requests, the first one on the bar

    // The title in the tab strip; the address stands in while there is none.
    void ShowLabel();
    void ShowLoading(bool loading);
};

} // namespace browser
