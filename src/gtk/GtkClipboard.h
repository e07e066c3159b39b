#pragma once
// The clipboard service on GTK. A registered format travels under its own
// name as the target ("GIF Image" also as image/gif); the plain bitmap
// format is offered and read as an image (BMP bytes, or any picture GTK can
// load). Standard formats without a GTK meaning get a private target.
#include "platform/Clipboard.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace gtkservices {

// GTK's C API has a type of this name too: write gtkservices::GtkClipboard
// where both are in sight.
class GtkClipboard : public platform::IClipboardService {
public:
    GtkClipboard();
    ~GtkClipboard() override;
    unsigned RegisterFormat(const std::string& name) override;
    bool HasFormat(unsigned format) override;
    bool GetData(unsigned format, std::vector<uint8_t>& out) override;
    void Clear() override;
    void SetData(unsigned format, const std::vector<uint8_t>& bytes) override;

    // The GTK targets a format is offered under, the first preferred.
    std::vector<std::string> TargetsOf(unsigned format) const;

    struct State;  // shared with the clipboard's callbacks

private:
    void Publish();
    std::map<std::string, unsigned> names_;
    std::shared_ptr<State> state_;
};

} // namespace gtkservices
