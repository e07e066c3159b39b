// The process-wide screen and clipboard services.
#include "platform/Clipboard.h"
#include "platform/Exception.h"
#include "platform/Screen.h"
#include "platform/Sync.h"

#include <mutex>

namespace platform {

namespace {
std::mutex g_mutex;
std::shared_ptr<IScreenService> g_screen;
std::shared_ptr<IClipboardService> g_clipboard;
// The services hand out references: a replacement on another thread could
// leave a caller holding a destroyed one, so every use and replacement is
// made on the main thread, where no call can be in the middle of another.
void RequireMainThread(const char* what) {
    if (!IsMainThread()) throw Exception(std::string(what) + " is used on the main thread only");
}

} // namespace

IScreenService& ScreenService() {
    RequireMainThread("The screen service");
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_screen) g_screen = std::make_shared<FakeScreen>();
    return *g_screen;
}

std::shared_ptr<IScreenService> SetScreenService(std::shared_ptr<IScreenService> service) {
    RequireMainThread("The screen service");
    std::lock_guard<std::mutex> lock(g_mutex);
    auto old = std::move(g_screen);
    g_screen = std::move(service);
    return old;
}

IClipboardService& ClipboardService() {
    RequireMainThread("The clipboard service");
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_clipboard) g_clipboard = std::make_shared<MemoryClipboard>();
    return *g_clipboard;
}

std::shared_ptr<IClipboardService> SetClipboardService(std::shared_ptr<IClipboardService> service) {
    RequireMainThread("The clipboard service");
    std::lock_guard<std::mutex> lock(g_mutex);
    auto old = std::move(g_clipboard);
    g_clipboard = std::move(service);
    return old;
}

unsigned MemoryClipboard::RegisterFormat(const std::string& name) {
    auto it = names_.find(name);
    if (it != names_.end()) return it->second;
    unsigned id = 0xC000 + static_cast<unsigned>(names_.size());
    names_[name] = id;
    return id;
}

bool MemoryClipboard::GetData(unsigned format, std::vector<uint8_t>& out) {
    auto it = data_.find(format);
    if (it == data_.end()) return false;
    out = it->second;
    return true;
}

} // namespace platform
