#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {
std::mutex g_mutex;
std::shared_ptr<IMessageBoxService> g_service;
} // namespace

IMessageBoxService& MessageBoxService() {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_service) g_service = std::make_shared<ConsoleMessageBox>();
    return *g_service;
}

std::shared_ptr<IMessageBoxService> SetMessageBoxService(std::shared_ptr<IMessageBoxService> service) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto old = std::move(g_service);
    g_service = std::move(service);
    return old;
}

int ConsoleMessageBox::Show(const std::string& text, const std::string& caption, unsigned flags) {
    if (!caption.empty()) std::fprintf(stderr, "%s\n", caption.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
    switch (flags & 0xF) {
    case MB_OKCANCEL: return IDOK;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNOCANCEL: return answerYes_ ? IDYES : IDCANCEL;
    case MB_YESNO: return answerYes_ ? IDYES : IDNO;
    case MB_RETRYCANCEL: return IDCANCEL;
    default: return IDOK;
    }
}

int ScriptedMessageBox::Show(const std::string& text, const std::string& caption, unsigned flags) {
    boxes_.push_back({text, caption, flags});
    if (script_.empty()) return default_;
    int a = script_.front();
    script_.pop_front();
    return a;
}

} // namespace platform
