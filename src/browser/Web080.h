#pragma once
// The About box: the program's name, a product and credit text, the
// operating system version, the installed memory and the screen's size in
// pixels, millimetres and inches with its diagonal and two aspect ratios.
// All texts are computed once, when the box is created.
#include "controls/PanelSx.h"
#include "platform/Screen.h"
#include "platform/System.h"

#include <gtkmm/button.h>
#include <gtkmm/dialog.h>
#include <gtkmm/fixed.h>
#include <gtkmm/label.h>
#include <gtkmm/separator.h>

#include <cstdint>
#include <string>

namespace browser {

// The screen's size in the units of the classic mapping modes: hundredths
// of a millimetre and thousandths of an inch, y pointing up (negative).
struct ScreenMeasure {
    int width = 0, height = 0;  // pixels
    int mx = 0, my = 0;         // 0.01 mm
    int ix = 0, iy = 0;         // 0.001 inch
    double diagonal = 0;        // 0.001 inch
};
// Raises platform::Exception for a screen without pixels.
ScreenMeasure MeasureScreen(const platform::IScreenService& screen);

// A ratio times 100 as text: the three named ones, else r / 100 as "0.00".
std::string RatioText(int r);
// The nearest integer to num / den, an exact half going to the even one.
int64_t RoundHalfEvenDiv(int64_t num, int64_t den);
// The five lines of the screen label, joined by CR LF.
std::string ScreenText(const platform::IScreenService& screen);
std::string OSVersionText(const platform::OSVersionInfo& info);
// Total physical memory in bytes, shown in kilobytes grouped by thousands.
std::string MemoryText(uint64_t totalPhys);
// The product and credit lines.
std::string CopyrightText();

class TWeb080 : public Gtk::Dialog {
public:
    TWeb080();
    explicit TWeb080(Gtk::Window& owner);

    Gtk::Label lCpy;
    Gtk::Separator Bevel1;
    Gtk::Label Label3;
    Gtk::Label lMem;
    Gtk::Label lOS;
    Gtk::Label lNam;
    Gtk::Label lScr;
    Gtk::Button OKButton;
    controls::TPanelSx pBox;

    // The creation handler: fills the texts; an error is shown in a
    // message box and leaves the labels not yet filled as they were.
    void FormCreate();
    // lScr, lCpy, lOS (through ShowOSVersion) and lMem, in this order.
    void ShowSystemInfo();
    void ShowOSVersion();

protected:
    bool on_key_press_event(GdkEventKey* event) override;

private:
    void Build();
    Gtk::Fixed client_;
};

// Shows a new About box modally over the owner and frees it when it closes,
// also when showing fails.
void ShowAbout(Gtk::Window& owner);

} // namespace browser
