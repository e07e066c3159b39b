#pragma once
// The downloads of one web view: each lands in the download folder under
// the name the server suggests, never over a file that is there; the status
// bar follows its progress; a failure says why, also in a message box;
// what a cancelled or failed download leaves is removed; a finished download
// says where it went. Until it is done, the engine writes the file under a
// name of its own beside the final one.
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

typedef struct _WebKitDownload WebKitDownload;

namespace browser {

class DownloadList {
public:
    // status: a text for the status bar; runningChanged: a download began
    // or ended.
    DownloadList(std::string folder, std::function<void(const std::string&)> status,
                 std::function<void()> runningChanged);
    // Cancels what still runs; the engine removes its partial files.
    ~DownloadList();
    DownloadList(const DownloadList&) = delete;
    DownloadList& operator=(const DownloadList&) = delete;

    void Add(WebKitDownload* download);
    int Running() const;
    void CancelAll();

private:
    struct Item;
    struct Signals;
    void Ended(Item& item);
    // Where the running downloads land.
    std::set<std::string> Taken() const;

    std::string folder_;
    std::function<void(const std::string&)> status_;
    std::function<void()> runningChanged_;
    std::vector<std::unique_ptr<Item>> items_;
};

} // namespace browser
