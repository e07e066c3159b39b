#include "platform/Exception.h"
#include "platform/Streams.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace platform;
namespace fs = std::filesystem;

namespace {
std::string TempName(const char* stem) {
    return (fs::temp_directory_path() / (std::string(stem) + std::to_string(::getpid()))).string();
}
} // namespace

TEST(MemoryStream, ShortReadsAreCountsAndWritesGrowTheStream) {
    TMemoryStream ms;
    EXPECT_EQ(ms.Write("abcdef", 6), 6);
    ms.SetPosition(4);
    char buf[8] = {};
    EXPECT_EQ(ms.Read(buf, 8), 2);
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(ms.Read(buf, 8), 0);
    EXPECT_THROW(ms.ReadBuffer(buf, 1), EReadError);
    ms.Seek(10, SeekOrigin::Begin);
    ms.WriteByte('z');
    EXPECT_EQ(ms.Size(), 11);
    EXPECT_EQ(ms.Bytes()[7], 0);
    ms.SetSize(3);
    EXPECT_EQ(ms.Position(), 3);
}

TEST(MemoryStream, LittleEndianFields) {
    TMemoryStream ms;
    ms.WriteWord(0x1234);
    ms.WriteDWord(0xA1B2C3D4);
    EXPECT_EQ(ms.Bytes(), (std::vector<uint8_t>{0x34, 0x12, 0xD4, 0xC3, 0xB2, 0xA1}));
    ms.SetPosition(0);
    EXPECT_EQ(ms.ReadWord(), 0x1234);
    EXPECT_EQ(ms.ReadDWord(), 0xA1B2C3D4u);
}

TEST(FileStream, CreateOpenAndResize) {
    std::string path = TempName("qel-fs-");
    {
        TFileStream f(path, fmCreate);
        EXPECT_EQ(f.Write("hello", 5), 5);
        f.SetSize(2);
        EXPECT_EQ(f.Size(), 2);
    }
    {
        TFileStream f(path, fmOpenRead);
        char b[4];
        EXPECT_EQ(f.Read(b, 4), 2);
        EXPECT_EQ(f.Write("x", 1), 0);  // read-only: a short write, not an exception
    }
    // Creating never truncates what is there.
    EXPECT_THROW(TFileStream(path, fmCreate), EFCreateError);
    EXPECT_EQ(ReadFileBytes(path).size(), 2u);
    // A FIFO is refused at once instead of waiting for a writer; reading
    // one to its end is what ReadAllBytes is for.
    std::string fifo = path + ".fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(TFileStream(fifo, fmOpenRead), EFOpenError);
    std::thread writer([&] { std::ofstream(fifo) << std::string(100000, 'f'); });
    EXPECT_EQ(ReadAllBytes(fifo).size(), 100000u);
    writer.join();
    fs::remove(fifo);
    fs::remove(path);
    try {
        TFileStream f(path, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
    EXPECT_THROW(TFileStream("/nonexistent-folder/x", fmCreate), EFCreateError);
    EXPECT_THROW(TFileStream("/tmp", fmOpenRead), EFOpenError);
}

TEST(FileStream, WritingIsDeniedToOthersWhileTheStreamLives) {
    std::string path = TempName("qel-lock-");
    { TFileStream(path, fmCreate); }
    {
        TFileStream a(path, fmOpenReadWrite | fmShareDenyWrite);
        EXPECT_THROW(TFileStream(path, fmOpenReadWrite | fmShareDenyWrite), EFOpenError);
        TFileStream reader(path, fmOpenRead);  // reading stays allowed
    }
    TFileStream again(path, fmOpenReadWrite | fmShareDenyWrite);
    fs::remove(path);
}
