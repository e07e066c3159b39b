#include "browser/Downloads.h"

#include "browser/AppErrors.h"
#include "browser/DownloadNaming.h"

#include <glib/gstdio.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>

namespace browser {

struct DownloadList::Item {
    DownloadList* list = nullptr;
    WebKitDownload* download = nullptr;
    std::string path;  // where it lands, empty until decided
    std::string name;
    bool running = true;
    bool failed = false;
    std::chrono::steady_clock::time_point shown{};

    // A transfer that broke off and was still called finished leaves a
    // short file under the final name.
    void RemoveShortFile() {
        if (path.empty()) return;
        g_unlink(path.c_str());
        path.clear();
    }
};

struct DownloadList::Signals {
    static gboolean DecideDestination(WebKitDownload* d, gchar* suggested, gpointer data) {
        auto* item = static_cast<Item*>(data);
        item->name = SafeDownloadName(suggested ? suggested : "");
        try {
            item->path = FreeDownloadPath(item->list->folder_, item->name, item->list->Taken());
        } catch (const std::exception& e) {
            item->failed = true;
            item->list->status_(e.what());
            ShowErrorMessage(e.what());
            webkit_download_cancel(d);
            return TRUE;
        }
        item->name = item->path.substr(item->list->folder_.size());
        // Should another program take the name meanwhile, the download
        // fails rather than write over its file.
        webkit_download_set_allow_overwrite(d, FALSE);
        char* uri = g_filename_to_uri(item->path.c_str(), nullptr, nullptr);
        webkit_download_set_destination(d, uri);
        g_free(uri);
        item->list->status_("Downloading " + item->name + " ...");
        return TRUE;
    }

    static void ReceivedData(WebKitDownload* d, guint64, gpointer data) {
        auto* item = static_cast<Item*>(data);
        auto now = std::chrono::steady_clock::now();
        if (now - item->shown < std::chrono::milliseconds(250)) return;
        item->shown = now;
        item->list->status_(DownloadProgressText(item->name, webkit_download_get_received_data_length(d),
                                                 ExpectedLength(d), webkit_download_get_elapsed_time(d)));
    }

    static void Failed(WebKitDownload*, GError* error, gpointer data) {
        // The engine removes its partial file itself.
        auto* item = static_cast<Item*>(data);
        if (item->failed) return;  // already told
        item->failed = true;
        std::string name = item->name.empty() ? "the file" : item->name;
        if (g_error_matches(error, WEBKIT_DOWNLOAD_ERROR, WEBKIT_DOWNLOAD_ERROR_CANCELLED_BY_USER)) {
            item->list->status_("Download of " + name + " cancelled");
        } else {
            std::string text = "Download of " + name + " failed: " + (error ? error->message : "unknown error");
            item->list->status_(text);
            ShowErrorMessage(text);
        }
    }

    static void Finished(WebKitDownload* d, gpointer data) {
        auto* item = static_cast<Item*>(data);
        if (!item->failed) {
            // The engine calls a transfer that broke off finished: what
            // came is shorter than the server said it would be.
            guint64 received = webkit_download_get_received_data_length(d);
            guint64 total = ExpectedLength(d);
            if (total > 0 && received < total) {
                item->RemoveShortFile();
                std::string text = "Download of " + item->name + " failed: the transfer broke off after " +
                                   SizeText(received) + " of " + SizeText(total);
                item->failed = true;
                item->list->status_(text);
                ShowErrorMessage(text);
            } else {
                item->list->status_("Downloaded " + item->name + " to " + item->path);
            }
        }
        item->list->Ended(*item);
    }

    // The body's length as sent, when the server said it and sent the body
    // as it is (a compressed body counts its compressed bytes).
    static guint64 ExpectedLength(WebKitDownload* d) {
        WebKitURIResponse* response = webkit_download_get_response(d);
        if (!response) return 0;
        SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
        const char* encoding = headers ? soup_message_headers_get_one(headers, "Content-Encoding") : nullptr;
        if (encoding && g_ascii_strcasecmp(encoding, "identity") != 0) return 0;
        return webkit_uri_response_get_content_length(response);
    }
};

DownloadList::DownloadList(std::string folder, std::function<void(const std::string&)> status,
                           std::function<void()> runningChanged)
    : folder_(std::move(folder)), status_(std::move(status)), runningChanged_(std::move(runningChanged)) {
    if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
}

DownloadList::~DownloadList() {
    for (auto& item : items_) {
        if (!item->download) continue;
        g_signal_handlers_disconnect_by_data(item->download, item.get());
        if (item->running) webkit_download_cancel(item->download);
        g_object_unref(item->download);
    }
}

void DownloadList::Add(WebKitDownload* download) {
    // Ended downloads are let go here, never inside their own signals.
    items_.erase(std::remove_if(items_.begin(), items_.end(), [](const auto& i) { return !i->download; }),
                 items_.end());
    auto item = std::make_unique<Item>();
    item->list = this;
    item->download = WEBKIT_DOWNLOAD(g_object_ref(download));
    g_signal_connect(download, "decide-destination", G_CALLBACK(Signals::DecideDestination), item.get());
    g_signal_connect(download, "received-data", G_CALLBACK(Signals::ReceivedData), item.get());
    g_signal_connect(download, "failed", G_CALLBACK(Signals::Failed), item.get());
    g_signal_connect(download, "finished", G_CALLBACK(Signals::Finished), item.get());
    // Where the folder is missing, the download makes it.
    g_mkdir_with_parents(folder_.c_str(), 0755);
    items_.push_back(std::move(item));
    runningChanged_();
}

std::set<std::string> DownloadList::Taken() const {
    std::set<std::string> paths;
    for (const auto& item : items_)
        if (item->running && !item->path.empty()) paths.insert(item->path);
    return paths;
}

int DownloadList::Running() const {
    return static_cast<int>(std::count_if(items_.begin(), items_.end(), [](const auto& i) { return i->running; }));
}

void DownloadList::CancelAll() {
    for (auto& item : items_)
        if (item->running && item->download) webkit_download_cancel(item->download);
}

void DownloadList::Ended(Item& item) {
    if (!item.running) return;
    item.running = false;
    g_signal_handlers_disconnect_by_data(item.download, &item);
    // The object goes at the next Add or with the list; the signal that
    // called us still holds its own reference.
    g_object_unref(item.download);
    item.download = nullptr;
    runningChanged_();
}

} // namespace browser
