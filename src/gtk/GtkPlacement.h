#pragma once
// Window placement for any Gtk::Window: the normal rectangle is tracked
// while the window is neither maximized nor minimized, so that a maximized
// window still saves where it will come back to.
#include "platform/Placement.h"

#include <gtkmm/window.h>
#include <sigc++/connection.h>

#include <string>

namespace gtkservices {

class GtkPlacement : public platform::IPlacementForm {
public:
    // Construct before the window is first shown.
    GtkPlacement(Gtk::Window& window, std::string name, int borderStyle = -1);
    ~GtkPlacement() override;
    GtkPlacement(const GtkPlacement&) = delete;
    GtkPlacement& operator=(const GtkPlacement&) = delete;

    std::string Name() const override { return name_; }
    // The style given at construction, else what the window is: no
    // decoration none, resizable sizeable, a dialog hint dialog, else single.
    int BorderStyle() const override;
    int Width() const override;
    int Height() const override;
    int GetWindowState() const override;
    void SetWindowState(int state) override;
    platform::WindowPlacement GetPlacement() const override;
    void SetPlacement(const platform::WindowPlacement& wp) override;

    // The normal rectangle as tracked now.
    platform::TRect NormalRect() const { return normal_; }

private:
    bool OnConfigure(GdkEventConfigure* event);
    bool OnWindowState(GdkEventWindowState* event);
    void TrackNormal();

    Gtk::Window& window_;
    std::string name_;
    int borderStyle_;
    platform::TRect normal_;
    platform::TRect previous_;  // the normal rectangle before the last change
    platform::TPoint minPos_{-1, -1};
    platform::TPoint maxPos_{-1, -1};
    int state_ = platform::wsNormal;
    sigc::connection configure_;
    sigc::connection windowState_;
};

} // namespace gtkservices
