#include "GuiTest.h"

#include "controls/PanelSx.h"

#include <gtkmm/button.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/window.h>

#include <memory>

using namespace controls;

namespace {
// A panel that counts how often it is asked to lay its children out.
struct CountingPanel : TPanelSx {
    int realigns = 0;
    void Realign() override {
        ++realigns;
        TPanelSx::Realign();
    }
};

// A parent that paints red left of x = 30 and blue from there.
struct TwoColourParent : Gtk::Fixed {
    int draws = 0;
    bool on_draw(const Cairo::RefPtr<Cairo::Context>& cr) override {
        ++draws;
        cr->set_source_rgb(1, 0, 0);
        cr->rectangle(0, 0, 30, get_allocated_height());
        cr->fill();
        cr->set_source_rgb(0, 0, 1);
        cr->rectangle(30, 0, get_allocated_width() - 30, get_allocated_height());
        cr->fill();
        return Gtk::Fixed::on_draw(cr);
    }
};

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) { return os << c.r << "," << c.g << "," << c.b; }

Rgb Pixel(const Cairo::RefPtr<Cairo::ImageSurface>& s, int x, int y) {
    s->flush();
    const unsigned char* p = s->get_data() + y * s->get_stride() + x * 4;  // BGRA, native endian
    return {p[2], p[1], p[0]};
}

struct PanelInWindow : ::testing::Test {
    std::unique_ptr<Gtk::Window> window;
    std::unique_ptr<TwoColourParent> parent;
    std::unique_ptr<TPanelSx> panel;
    void SetUp() override {
        REQUIRE_GTK();
        window = std::make_unique<Gtk::Window>();
        parent = std::make_unique<TwoColourParent>();
        panel = std::make_unique<TPanelSx>();
        parent->set_size_request(120, 100);
        parent->put(*panel, 10, 10);
        panel->SetBounds(10, 10, 60, 50);
        window->add(*parent);
        window->show_all();
        ASSERT_TRUE(guitest::WaitFor([&] { return panel->get_allocated_width() == 60; }));
    }
    Cairo::RefPtr<Cairo::ImageSurface> Render() {
        // Settings changed just now wait for a layout; a paint comes after one.
        window->check_resize();
        auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, 60, 50);
        auto cr = Cairo::Context::create(surface);
        panel->Paint(cr);
        return surface;
    }
};
} // namespace

TEST_F(PanelInWindow, OpaquePanelFillsWithItsColour) {
    panel->SetColor(Gdk::RGBA("#00ff00"));
    auto s = Render();
    EXPECT_EQ(Pixel(s, 30, 25), (Rgb{0, 255, 0}));
    // The raised bevel: highlight top left, shadow bottom right.
    EXPECT_EQ(Pixel(s, 0, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(Pixel(s, 59, 49), (Rgb{160, 160, 160}));
}

TEST_F(PanelInWindow, TransparentPanelShowsParentAlignedToItsPosition) {
    panel->SetColor(Gdk::RGBA("#00ff00"));
    panel->SetBevelOuter(bvLowered);
    panel->SetTransParent(true);
    auto s = Render();
    EXPECT_GT(parent->draws, 0);
    // Panel x 5 is parent x 15 (red); panel x 40 is parent x 50 (blue).
    EXPECT_EQ(Pixel(s, 5, 25), (Rgb{255, 0, 0}));
    EXPECT_EQ(Pixel(s, 40, 25), (Rgb{0, 0, 255}));
    // The lowered bevel is drawn over it: shadow top left.
    EXPECT_EQ(Pixel(s, 0, 0), (Rgb{160, 160, 160}));
    EXPECT_EQ(Pixel(s, 59, 49), (Rgb{255, 255, 255}));
}

TEST_F(PanelInWindow, TransparentPanelOnScreen) {
    panel->SetColor(Gdk::RGBA("#00ff00"));
    panel->SetTransParent(true);
    int paints = 0;
    panel->OnPaint = [&](TPanelSx&, const Cairo::RefPtr<Cairo::Context>&) { ++paints; };
    panel->queue_draw();
    ASSERT_TRUE(guitest::WaitFor([&] { return paints > 0; }));
    guitest::Flush();
    // What the display shows: the parent's colours inside the panel.
    int px = 0, py = 0;
    panel->translate_coordinates(*window, 0, 0, px, py);
    auto shot = Gdk::Pixbuf::create(window->get_window(), px, py, 60, 50);
    ASSERT_TRUE(shot);
    const guint8* row = shot->get_pixels() + 25 * shot->get_rowstride();
    int n = shot->get_n_channels();
    EXPECT_EQ((Rgb{row[5 * n], row[5 * n + 1], row[5 * n + 2]}), (Rgb{255, 0, 0}));
    EXPECT_EQ((Rgb{row[40 * n], row[40 * n + 1], row[40 * n + 2]}), (Rgb{0, 0, 255}));
}

TEST_F(PanelInWindow, OnPaintComesLastWithThePanel) {
    int calls = 0;
    panel->OnPaint = [&](TPanelSx& sender, const Cairo::RefPtr<Cairo::Context>& cr) {
        EXPECT_EQ(&sender, panel.get());
        EXPECT_EQ(sender.Canvas(), cr);
        ++calls;
        cr->set_source_rgb(1, 1, 0);
        cr->rectangle(20, 20, 2, 2);
        cr->fill();
    };
    panel->SetCaption("Caption");
    auto s = Render();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Pixel(s, 20, 20), (Rgb{255, 255, 0}));
    EXPECT_FALSE(panel->Canvas()) << "no canvas outside a paint";
    // And on a real paint of the window.
    calls = 0;
    panel->queue_draw();
    ASSERT_TRUE(guitest::WaitFor([&] { return calls > 0; }));
}

TEST_F(PanelInWindow, DockedChildrenFillTheClientArea) {
    Gtk::DrawingArea top, client;
    panel->put(top, 0, 0);
    panel->put(client, 0, 0);
    panel->SetChildAlign(top, alTop);
    panel->SetChildAlign(client, alClient);
    panel->SetMrgLeft(4);
    panel->SetMrgTop(3);
    panel->SetMrgRight(2);
    panel->SetMrgBottom(1);
    top.set_size_request(-1, 10);
    top.show();
    client.show();
    ASSERT_TRUE(guitest::WaitFor([&] { return top.get_allocated_height() == 10 && client.get_allocated_width() > 1; }));
    int tx = 0, ty = 0, cx = 0, cy = 0;
    top.translate_coordinates(*panel, 0, 0, tx, ty);
    client.translate_coordinates(*panel, 0, 0, cx, cy);
    // Bevel 1 + margins.
    EXPECT_EQ(tx, 1 + 4);
    EXPECT_EQ(ty, 1 + 3);
    EXPECT_EQ(top.get_allocated_width(), 60 - 2 - 4 - 2);
    EXPECT_EQ(cy, 1 + 3 + 10);
    EXPECT_EQ(client.get_allocated_height(), 50 - 2 - 3 - 1 - 10);
    // A left caption strip pushes the children right by the caption + 4.
    panel->SetCaption("ab");
    panel->SetMrgSide(1);
    int expectLeft = 1 + panel->MeasureCaption().width + 4;
    ASSERT_TRUE(guitest::WaitFor([&] {
        int x = 0, y = 0;
        top.translate_coordinates(*panel, 0, 0, x, y);
        return x == expectLeft;
    }));
    EXPECT_EQ(panel->ClientRect().left, expectLeft);
}

TEST(PanelSx, SettersLayOutOnlyOnChange) {
    REQUIRE_GTK();
    CountingPanel p;
    p.SetMrgTop(0);
    EXPECT_EQ(p.realigns, 0) << "the same margin causes no new layout";
    p.SetMrgTop(5);
    EXPECT_EQ(p.realigns, 1);
    EXPECT_EQ(p.MrgTop(), 5);
    p.SetMargin(5, 99);
    EXPECT_EQ(p.realigns, 2) << "an index past the margins still lays out";
    EXPECT_EQ(p.MrgLeft(), 0);
    EXPECT_EQ(p.MrgBottom(), 0);
    p.SetMrgSide(7);
    EXPECT_EQ(p.MrgSide(), 7);
    p.SetLayout(tlTop);
    EXPECT_EQ(p.Layout(), tlTop);
    p.SetLayout(tlBottom);
    EXPECT_EQ(p.Layout(), tlBottom);
    p.SetTransParentIndexed(1, true);
    EXPECT_FALSE(p.TransParent()) << "another index only repaints";
    p.SetTransParent(true);
    EXPECT_TRUE(p.TransParent());
}

TEST(PanelSx, CopyParentBackgroundWithoutParentDoesNothing) {
    REQUIRE_GTK();
    TPanelSx p;
    auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_RGB24, 4, 4);
    auto cr = Cairo::Context::create(surface);
    cr->set_source_rgb(0, 1, 0);
    cr->paint();
    CopyParentBackground(p, cr);
    EXPECT_EQ(Pixel(surface, 1, 1), (Rgb{0, 255, 0}));
}
