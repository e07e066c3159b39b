// Arbitrary bytes as a settings file, then every operation of the text
// engine on it with fuzzed names, options and kinds. Besides crashes and
// sanitizer reports it checks what must always hold: results inside the
// list, and plain names and values reading back what was written.
#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/Strings.h"
#include "settings/SettingsText.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

class SilentBox : public platform::IMessageBoxService {
public:
    int Show(const std::string&, const std::string&, unsigned) override { return platform::IDOK; }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

bool Plain(const std::string& s) {
    if (s.empty()) return false;
    for (unsigned char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

const int kKinds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 17, 72, 256, -1};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto scope = std::make_unique<platform::MessageBoxScope>(std::make_shared<SilentBox>());
    FuzzedDataProvider in(data, size);
    std::string section = in.ConsumeRandomLengthString(24);
    std::string key = in.ConsumeRandomLengthString(24);
    std::string value = in.ConsumeRandomLengthString(32);
    unsigned options = in.ConsumeIntegral<uint8_t>();
    int occurrence = in.ConsumeIntegralInRange<int>(-1, 5);
    int kind = in.PickValueInArray(kKinds);
    std::string text = in.ConsumeRemainingBytesAsString();

    platform::TStringList list;
    list.SetText(text);

    int start = 0, end = 0, sep = 0;
    int count = list.Count();
    int r = settings::FindKey(&list, section, key, occurrence, start, end, sep, options & 0x0F);
    Check(r >= -2 && r < count);
    if (r >= -1) Check(end >= 0 && end <= count);
    if (r >= 0) {
        Check(start <= r && r < end);
        Check(sep >= 0 && sep <= static_cast<int>(list[r].size()));
    }

    try {
        settings::ReadValue(&list, section, key, platform::TVariant(value), kind, options & 1, occurrence);
    } catch (const platform::EConvertError&) {
    }
    Check(settings::WriteValue(&list, section, key, platform::TVariant(value), options & 1, occurrence));

    platform::TStringList items;
    try {
        settings::ReadList(&list, section, key, items, options & 0x40);
    } catch (const platform::EConvertError&) {
    }
    settings::WriteList(&list, section, key, items, options & 0xC0);

    // Plain names and values come back as they were written.
    if (Plain(key) && (Plain(section) || section.empty())) {
        std::string plainValue = Plain(value) ? value : std::string("v");
        settings::WriteValue(&list, section, key, platform::TVariant(plainValue));
        Check(settings::ReadValue(&list, section, key, platform::TVariant("")).AsString() == plainValue);

        platform::TStringList source, back;
        source.AddObject("a", 1);
        source.AddObject(plainValue, -7);
        settings::WriteList(&list, section, key, source, 0x40);
        // A duplicate of a stale entry may survive behind the first gap, and
        // its text need not carry a number.
        try {
            settings::ReadList(&list, section, key, back, 0x40);
        } catch (const platform::EConvertError&) {
        }
        Check(back.Count() >= 2);
        Check(back[0] == "a" && back.GetObject(0) == 1);
        Check(back[1] == plainValue && back.GetObject(1) == -7);
    }
    // Whatever was written, every line still survives a save and a reload.
    const std::string breaks("\r\n\0", 3);
    for (int i = 0; i < list.Count(); ++i) Check(list[i].find_first_of(breaks) == std::string::npos);
    return 0;
}
