#include "gtk/GtkClipboard.h"

#include "platform/Bmp.h"

#include <gdkmm/pixbufloader.h>
#include <gtkmm/clipboard.h>

#include <cstring>

namespace gtkservices {

using namespace platform;

struct GtkClipboard::State {
    std::map<unsigned, std::vector<uint8_t>> data;
    // Bumped whenever we hand GTK a new content; the clear callback of an
    // older one must not wipe the newer.
    unsigned generation = 0;
    bool owned = false;
};

namespace {
constexpr const char* kGifName = "GIF Image";
constexpr const char* kBmp = "image/bmp";
constexpr const char* kPng = "image/png";

Glib::RefPtr<Gtk::Clipboard> Board() { return Gtk::Clipboard::get(GDK_SELECTION_CLIPBOARD); }

bool IsImageFormat(unsigned format) { return format == CF_DIB || format == CF_BITMAP; }

// PNG for the programs that read no BMP, made from our BMP bytes.
std::vector<uint8_t> BmpToPng(const std::vector<uint8_t>& bmp) {
    try {
        auto loader = Gdk::PixbufLoader::create("bmp");
        loader->write(bmp.data(), bmp.size());
        loader->close();
        auto pixbuf = loader->get_pixbuf();
        if (!pixbuf) return {};
        gchar* buffer = nullptr;
        gsize size = 0;
        pixbuf->save_to_buffer(buffer, size, "png");
        std::vector<uint8_t> out(buffer, buffer + size);
        g_free(buffer);
        return out;
    } catch (const Glib::Error&) {
        return {};
    }
}
} // namespace

GtkClipboard::GtkClipboard() : state_(std::make_shared<State>()) {}

GtkClipboard::~GtkClipboard() {
    // GTK may still call back after we are gone; the callbacks hold only a
    // weak reference, and what we put there goes away with us.
    if (state_->owned) Board()->clear();
}

unsigned GtkClipboard::RegisterFormat(const std::string& name) {
    auto it = names_.find(name);
    if (it != names_.end()) return it->second;
    unsigned id = 0xC000 + static_cast<unsigned>(names_.size());
    names_[name] = id;
    return id;
}

std::vector<std::string> GtkClipboard::TargetsOf(unsigned format) const {
    if (IsImageFormat(format)) return {kBmp, kPng};
    for (const auto& [name, id] : names_) {
        if (id != format) continue;
        if (name == kGifName) return {kGifName, "image/gif"};
        return {name};
    }
    return {"application/x-qel-clipboard-format-" + std::to_string(format)};
}

void GtkClipboard::Clear() {
    bool owned = state_->owned;
    state_->data.clear();
    state_->owned = false;
    ++state_->generation;
    if (owned) Board()->clear();
}

void GtkClipboard::SetData(unsigned format, const std::vector<uint8_t>& bytes) {
    state_->data[format] = bytes;
    Publish();
}

void GtkClipboard::Publish() {
    std::vector<Gtk::TargetEntry> targets;
    std::map<std::string, unsigned> byTarget;
    for (const auto& [format, bytes] : state_->data) {
        for (const std::string& t : TargetsOf(format)) {
            if (byTarget.emplace(t, format).second) targets.emplace_back(t);
        }
    }
    unsigned generation = ++state_->generation;
    std::weak_ptr<State> weak = state_;
    auto get = [weak, byTarget](Gtk::SelectionData& sd, guint) {
        auto state = weak.lock();
        if (!state) return;
        auto it = byTarget.find(sd.get_target());
        if (it == byTarget.end()) return;
        auto data = state->data.find(it->second);
        if (data == state->data.end()) return;
        std::vector<uint8_t> bytes = data->second;
        if (IsImageFormat(it->second)) {
            bytes = platform::DibToBmpFile(bytes);
            if (it->first == kPng) bytes = BmpToPng(bytes);
            if (bytes.empty()) return;
        }
        sd.set(sd.get_target(), 8, bytes.data(), static_cast<int>(bytes.size()));
    };
    auto clear = [weak, generation]() {
        auto state = weak.lock();
        if (!state || state->generation != generation) return;
        // Another owner took the clipboard.
        state->data.clear();
        state->owned = false;
    };
    state_->owned = Board()->set(targets, get, clear);
    // GTK's set called the clear callback of the content it replaced, which
    // knew an older generation and so kept our data.
}

bool GtkClipboard::HasFormat(unsigned format) {
    if (state_->owned) return state_->data.count(format) != 0;
    auto board = Board();
    for (const std::string& t : TargetsOf(format)) {
        if (board->wait_is_target_available(t)) return true;
    }
    return IsImageFormat(format) && board->wait_is_image_available();
}

bool GtkClipboard::GetData(unsigned format, std::vector<uint8_t>& out) {
    if (state_->owned) {
        auto it = state_->data.find(format);
        if (it == state_->data.end()) return false;
        out = it->second;
        return true;
    }
    auto board = Board();
    if (IsImageFormat(format)) {
        Gtk::SelectionData sd = board->wait_for_contents(kBmp);
        if (sd.get_length() > 0) {
            std::vector<uint8_t> bmp(sd.get_data(), sd.get_data() + sd.get_length());
            out = platform::BmpFileToDib(bmp);
            if (!out.empty()) return true;
        }
        // Any other picture: through a pixbuf into BMP.
        auto pixbuf = board->wait_for_image();
        if (!pixbuf) return false;
        try {
            gchar* buffer = nullptr;
            gsize size = 0;
            pixbuf->save_to_buffer(buffer, size, "bmp");
            std::vector<uint8_t> bmp(buffer, buffer + size);
            g_free(buffer);
            out = platform::BmpFileToDib(bmp);
            return !out.empty();
        } catch (const Glib::Error&) {
            return false;
        }
    }
    for (const std::string& t : TargetsOf(format)) {
        Gtk::SelectionData sd = board->wait_for_contents(t);
        if (sd.get_length() < 0 || !sd.get_data()) continue;
        out.assign(sd.get_data(), sd.get_data() + sd.get_length());
        return true;
    }
    return false;
}

} // namespace gtkservices
