// Opens arbitrary bytes as a data file with an arbitrary entry table beside
// it (its times matched to the data file's so that it is read), then gets,
// inserts, deletes and sorts, checking the entry invariants after each step.
//
// Input: one byte of flags, two bytes of entry-table length, the table, one
// byte of operation count, the operations (two bytes each), the data file.
#include "platform/MessageBox.h"
#include "platform/FileSystem.h"
#include "xoStr31/EntryTableFile.h"
#include "xoStr31/HdStrings.h"

#include <sys/stat.h>
#include <vector>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string Folder() {
    static std::string folder = [] {
        std::string tmpl = platform::TempDirectory() + "fuzz_hdstrings_XXXXXX";
        char* made = ::mkdtemp(tmpl.data());
        if (!made) std::abort();
        return std::string(made) + "/";
    }();
    return folder;
}

void Write(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void Check(xoStr31::THdStrings& list) {
    int64_t previous = 0;
    for (int i = 0; i <= list.LastIndex(); ++i) {
        int64_t end = list.Entry(i).End;
        if (end < previous) std::abort();
        if ((list.Entry(i).Flags & xoStr31::efNoSeparator) && i != list.LastIndex()) std::abort();
        previous = end;
    }
    if (list.LastIndex() >= 0 && previous != list.UsedSize()) std::abort();
    if (list.LastIndex() < 0 && list.UsedSize() != 0 && list.StorageMode() != 2) std::abort();
}

// Whole lines: each is found at its first occurrence, and the byte order
// is a permutation in which every line is at most the next one (equal
// lines by index).
void CheckLines(xoStr31::THdStrings& list) {
    const int count = list.GetCount();
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) lines.push_back(list.GetLine(i));
    for (int i = 0; i < count; ++i) {
        const int found = list.FindLine(lines[size_t(i)], 0, 0, -1);
        if (found < 0 || found > i || lines[size_t(found)] != lines[size_t(i)]) std::abort();
    }
    const std::vector<int32_t> order = list.SortLines(xoStr31::TTextOrder::Bytes);
    if (order.size() != size_t(count)) std::abort();
    std::vector<bool> seen(static_cast<size_t>(count), false);
    for (size_t k = 0; k < order.size(); ++k) {
        if (order[k] < 0 || order[k] >= count || seen[size_t(order[k])]) std::abort();
        seen[size_t(order[k])] = true;
        if (k == 0) continue;
        const std::string& a = lines[size_t(order[k - 1])];
        const std::string& b = lines[size_t(order[k])];
        if (a > b || (a == b && order[k - 1] > order[k])) std::abort();
    }
    if (list.SortLines(xoStr31::TTextOrder::Locale).size() != size_t(count)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto boxes = std::make_shared<platform::ScriptedMessageBox>();
    static platform::MessageBoxScope scope(boxes);
    boxes->ClearBoxes();
    if (size < 4) return 0;
    const uint8_t flags = data[0];
    // The length's top bit: the table gets the trailer of the data file, so
    // that its records reach the checks behind the trailer's.
    const bool owned = data[2] & 0x80;
    size_t tableLength = size_t(data[1]) | size_t(data[2] & 0x7F) << 8;
    size_t at = 3;
    tableLength = std::min(tableLength, size - at);
    const uint8_t* table = data + at;
    at += tableLength;
    size_t ops = at < size ? data[at++] % 16 : 0;
    const uint8_t* opBytes = data + at;
    ops = std::min(ops, (size - at) / 2);
    at += ops * 2;

    const std::string file = Folder() + "data.txt";
    const std::string index = Folder() + "data.Rni";
    Write(file, data + at, size - at);
    std::vector<uint8_t> tableBytes(table, table + tableLength);
    struct stat st{};
    if (owned && ::stat(file.c_str(), &st) == 0) {
        xoStr31::TTableSum sum;
        sum.Add(tableBytes.data(), tableBytes.size());
        uint8_t trailer[xoStr31::TableTrailerSize];
        xoStr31::EncodeTrailer(xoStr31::TTableOwner::Of(st), timespec{st.st_mtim.tv_sec + 1, 0}, sum.Value(), trailer);
        tableBytes.insert(tableBytes.end(), trailer, trailer + sizeof trailer);
    }
    Write(index, tableBytes.data(), tableBytes.size());
    timespec access{}, modification{};
    if (platform::GetFileTimes(file, access, modification)) platform::SetFileTimes(index, access, modification);

    {
        xoStr31::THdStrings list;
        list.SetScanChunk(3 + (flags >> 4));
        list.SetMoveLimit(1 + (flags & 7));
        if (flags & 8) list.SetParam(0, 2);
        list.Open(file, false);
        Check(list);
        for (size_t k = 0; k < ops; ++k) {
            uint8_t op = opBytes[2 * k];
            int i = opBytes[2 * k + 1] % (list.GetCount() + 2) - 1;
            switch (op % 4) {
            case 0: (void)list.Get(i); break;
            case 1: list.Insert(i, std::string(op % 7, char('a' + op % 26))); break;
            case 2: list.Delete(i); break;
            default: list.Put(i, std::string(op % 5, 'Q')); break;
            }
            Check(list);
        }
        list.Sort();
        if (list.SortIndex().size() != size_t(list.GetCount())) std::abort();
        CheckLines(list);
        for (int i = 0; i < list.GetCount(); ++i) (void)list.Get(i);
        list.SaveIndex(false);
        Check(list);
    }
    return 0;
}
