#pragma once
// String lists: indexed texts, each with an attached object (an integer that
// may carry a pointer). TStrings builds its services on a few element
// operations that a derived list overrides; TStringList keeps its texts in
// memory.
#include "platform/Streams.h"

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

using StringObject = std::intptr_t;

class TStrings {
public:
    virtual ~TStrings() = default;

    // ---- element operations a derived list provides or overrides ----
    virtual std::string Get(int index) = 0;
    virtual void Put(int index, const std::string& s);
    virtual StringObject GetObject(int index);
    virtual void PutObject(int index, StringObject obj);
    virtual int GetCount() = 0;
    virtual int GetCapacity();
    virtual void SetCapacity(int capacity);
    virtual void SetUpdateState(bool updating);
    virtual int Add(const std::string& s);
    virtual int AddObject(const std::string& s, StringObject obj);
    virtual void Clear() = 0;
    virtual void Delete(int index) = 0;
    virtual void Insert(int index, const std::string& s) = 0;
    virtual void InsertObject(int index, const std::string& s, StringObject obj);
    // Line ends CR LF, CR or LF; a last line without a line end counts; a
    // zero byte ends the text (LoadCut tells where).
    virtual void LoadFromFile(const std::string& path);
    virtual void LoadFromStream(TStream& stream);
    // CR LF after every line, through the safe whole-file save. Saving over
    // the file whose last load stopped at a zero byte is refused with
    // EWriteError: it would lose everything after that byte.
    virtual void SaveToFile(const std::string& path);
    virtual void SaveToStream(TStream& stream);
    virtual int IndexOf(const std::string& s);
    virtual void Move(int curIndex, int newIndex);
    virtual void Exchange(int index1, int index2);

    // ---- services built on the element operations ----
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    int Count() { return GetCount(); }
    std::string operator[](int index) { return Get(index); }
    // Every line followed by CR LF.
    std::string GetText();
    // Replaces the content with the lines of the text (same rules as loading).
    void SetText(const std::string& text);
    void AddStrings(TStrings& other);
    void Assign(TStrings& other);

    // Splits bytes into lines by the loading rules.
    static std::vector<std::string> SplitLines(const char* data, size_t size);
    // The stream's bytes from its position to its end.
    static std::string ReadRest(TStream& stream);
    // The offset of the zero byte that ended the last LoadFromFile, or -1.
    int64_t LoadCut() const { return loadCut_.offset; }

protected:
    void Error(const char* what, int index);

private:
    struct LoadCutRecord {
        int64_t offset = -1;
        uint64_t device = 0;
        uint64_t inode = 0;
    };
    int updateCount_ = 0;
    LoadCutRecord loadCut_;
};

class TStringList : public TStrings {
public:
    TStringList() = default;

    std::string Get(int index) override;
    void Put(int index, const std::string& s) override;
    StringObject GetObject(int index) override;
    void PutObject(int index, StringObject obj) override;
    int GetCount() override { return static_cast<int>(items_.size()); }
    int GetCapacity() override { return static_cast<int>(items_.capacity()); }
    void SetCapacity(int capacity) override;
    void Clear() override { items_.clear(); }
    void Delete(int index) override;
    void Insert(int index, const std::string& s) override { InsertObject(index, s, 0); }
    void InsertObject(int index, const std::string& s, StringObject obj) override;
    void LoadFromStream(TStream& stream) override;
    void Exchange(int index1, int index2) override;

private:
    struct Item {
        std::string text;
        StringObject object = 0;
    };
    void Check(int index);
    std::vector<Item> items_;
};

} // namespace platform
