#pragma once
// The clipboard service: registered formats by name, and bytes per format.
// The program installs the GTK clipboard; tests and tools use the in-memory
// one.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// The plain bitmap format (a device-independent bitmap, as BMP bytes without
// the file header) and the palette format.
constexpr unsigned CF_BITMAP = 2;
constexpr unsigned CF_DIB = 8;
constexpr unsigned CF_PALETTE = 9;

class IClipboardService {
public:
    virtual ~IClipboardService() = default;
    // Answers the number of a named format, the same for every call with the
    // same name; registered numbers start at 0xC000.
    virtual unsigned RegisterFormat(const std::string& name) = 0;
    virtual bool HasFormat(unsigned format) = 0;
    virtual bool GetData(unsigned format, std::vector<uint8_t>& out) = 0;
    // Opens the clipboard for a new content: everything on it goes away.
    virtual void Clear() = 0;
    virtual void SetData(unsigned format, const std::vector<uint8_t>& bytes) = 0;
};

class MemoryClipboard : public IClipboardService {
public:
    unsigned RegisterFormat(const std::string& name) override;
    bool HasFormat(unsigned format) override { return data_.count(format) != 0; }
    bool GetData(unsigned format, std::vector<uint8_t>& out) override;
    void Clear() override { data_.clear(); }
    void SetData(unsigned format, const std::vector<uint8_t>& bytes) override { data_[format] = bytes; }
private:
    std::map<std::string, unsigned> names_;
    std::map<unsigned, std::vector<uint8_t>> data_;
};

// Main thread only (checked): the reference stays valid until the service
// is replaced, which is done on the main thread too.
IClipboardService& ClipboardService();
std::shared_ptr<IClipboardService> SetClipboardService(std::shared_ptr<IClipboardService> service);

} // namespace platform
