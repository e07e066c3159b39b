#pragma once
// A bar above a page that tells the user something about it and offers up
// to two answers: a pop-up that was blocked, a site asking for a permission,
// a page that no longer answers. Hidden until a tab shows it, so that a
// page without news keeps its whole place.
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>

#include <functional>
#include <string>

namespace browser {

class TPageBar : public Gtk::Box {
public:
    TPageBar();

    // Shows the bar with its text and buttons; an empty caption leaves
    // that button out. Clicking a button hides the bar and runs its answer.
    void Ask(const std::string& text, const std::string& first, std::function<void()> onFirst,
             const std::string& second = {}, std::function<void()> onSecond = {});
    void Dismiss();
    bool Showing() const { return get_visible(); }

    std::string Text() const { return text_.get_text(); }
    Gtk::Button& First() { return first_; }
    Gtk::Button& Second() { return second_; }
    // Runs a button's answer as a click would (tests and keys).
    void ClickFirst() { first_.clicked(); }
    void ClickSecond() { second_.clicked(); }

private:
    Gtk::Label text_;
    Gtk::Button first_;
    Gtk::Button second_;
    Gtk::Button close_;
    std::function<void()> onFirst_;
    std::function<void()> onSecond_;
};

} // namespace browser
