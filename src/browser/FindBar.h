#pragma once
// The find bar under the page: the text to find, previous and next, whether
// the case must match (it need not unless asked), and how many matches the
// page holds. Enter goes to the next match, Shift+Enter to the previous,
// Esc closes the bar; typing searches as it goes.
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>

#include <functional>
#include <string>

namespace browser {

class TFindBar : public Gtk::Box {
public:
    TFindBar();

    // Shows the bar with its text selected and the focus in it.
    void Open();
    void Close();
    bool IsOpen() const { return get_visible(); }
    bool HasFocusInside() const;
    // Asks for the next (or previous) match of the bar's text; an empty
    // text opens the bar instead.
    void FindAgain(bool backwards);
    // The page's answer: the number of matches, 0 for none.
    void ShowMatches(int matches);

    std::string Text() const { return entry_.get_text(); }
    Gtk::Entry& Entry() { return entry_; }
    Gtk::CheckButton& MatchCase() { return matchCase_; }
    std::string MatchesText() const { return count_.get_text(); }

    // The text to find, backwards or not, with the case or not.
    std::function<void(const std::string& text, bool backwards, bool matchCase)> OnFind;
    std::function<void()> OnClose;

private:
    bool EntryKey(GdkEventKey* event);
    void Search(bool backwards);

    Gtk::Label caption_{"Find:"};
    Gtk::Entry entry_;
    Gtk::Button previous_;
    Gtk::Button next_;
    Gtk::CheckButton matchCase_{"Match case"};
    Gtk::Label count_;
    Gtk::Button close_;
};

} // namespace browser
