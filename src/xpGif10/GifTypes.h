#pragma once
// What every part of the GIF unit shares: the error class, the texts of
// errors and warnings, version codes, the values of the file's packed bit
// fields and disposal methods, the process-wide defaults each new image
// copies, and the size limits that keep hostile files from exhausting
// memory.
#include "platform/Exception.h"

#include <cstdint>
#include <string>

namespace xpGif10 {

class GIFException : public platform::Exception {
    using platform::Exception::Exception;
};

enum TGIFVersion { gvUnknown = 0, gv87a = 1, gv89a = 2 };
// The three version letters by version code.
extern const char* const GIFVersions[3];

// ---- the packed bit fields of the file, as stored ----
// The logical screen descriptor's packed byte.
constexpr uint8_t sdGlobalColorTable = 0x80;   // a global colour table follows
constexpr uint8_t sdColorResolution = 0x70;    // bits per primary minus one
constexpr int sdColorResolutionShift = 4;
constexpr uint8_t sdSort = 0x08;               // the table is sorted by importance
constexpr uint8_t sdColorTableSize = 0x07;     // the table has 2 << n entries

// The image descriptor's packed byte.
constexpr uint8_t idLocalColorTable = 0x80;    // a local colour table follows
constexpr uint8_t idInterlaced = 0x40;
constexpr uint8_t idSort = 0x20;               // the local table is sorted
constexpr uint8_t idReserved = 0x18;
constexpr uint8_t idColorTableSize = 0x07;     // the local table has 2 << n entries

// The graphic control extension's packed byte.
constexpr uint8_t gcDisposal = 0x1C;           // the disposal method, see TGIFDisposal
constexpr int gcDisposalShift = 2;
constexpr uint8_t gcUserInput = 0x02;
constexpr uint8_t gcTransparent = 0x01;        // the transparent index is in use

// The entries of a colour table whose size field is n.
constexpr int ColorTableEntries(int sizeField) { return 2 << sizeField; }

// What is done with a frame once its wait is over, as the disposal bits
// store it. Values 4 to 7 have no meaning of their own and are kept as read.
enum TGIFDisposal {
    dmNone = 0,         // no method given: left in place
    dmNoDispose = 1,    // left in place
    dmBackground = 2,   // its rectangle is cleared to the background
    dmPrevious = 3,     // the picture before it is put back
};

// Every warning of the unit carries this severity.
constexpr int GIFWarningSeverity = 1;

// Texts of errors and warnings, exactly as the program shows them.
namespace msg {
inline constexpr const char* InvalidColor = "Color not in color table";
inline constexpr const char* BadSignature = "Invalid GIF signature";
inline constexpr const char* PrematureEnd = "Premature end of data";
inline constexpr const char* UnknownExtension = "Unknown extension type";
inline constexpr const char* BadExtensionIntroducer = "Invalid extension introducer";
inline constexpr const char* ExtensionLabelMismatch = "Internal error: Extension Instance does not match Extension Label";
inline constexpr const char* BadAppExtensionSize = "Unsupported Application Extension block size";
inline constexpr const char* BadData = "Invalid GIF data";
inline constexpr const char* UnsupportedVersion = "Unsupported GIF version";
inline constexpr const char* ColorTableOverflow = "Color table overflow";
inline constexpr const char* BadColorIndex = "Invalid color index";
inline constexpr const char* EmptyColorTable = "Color table is empty";
inline constexpr const char* BadPixelCoordinates = "Invalid pixel coordinates";
inline constexpr const char* EmptyImage = "Image is empty";
inline constexpr const char* UnknownBlock = "Unknown GIF block type";
inline constexpr const char* BadTrailer = "Invalid Image trailer";
inline constexpr const char* ExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* WidthTooSmall = "Image width too small for contained frames";
inline constexpr const char* HeightTooSmall = "Image height too small for contained frames";
inline constexpr const char* BufferUnderrun = "Decoder bit buffer under-run";
inline constexpr const char* InvalidStreamOperation = "Invalid stream operation";
inline constexpr const char* Loading = "Loading...";
inline constexpr const char* Saving = "Saving...";
inline constexpr const char* FormatDescription = "GIF Image";
} // namespace msg

// ---- process-wide defaults; every new image copies them ----
enum TGIFDrawOption : uint16_t {
    goAsync = 0x0001,          // dfThreaded
    goTransparent = 0x0002,
    goAnimate = 0x0004,
    goLoop = 0x0008,
    goLoopContinously = 0x0010,
    goValidateCanvas = 0x0020,
    goDirectDraw = 0x0040,
    goClearOnLoop = 0x0080,
    goTile = 0x0100,
    goDither = 0x0200,
    goAutoDither = 0x0400,
};

extern uint16_t GIFDefaultDrawOptions;     // 0x060F
extern int GIFDefaultColorReduction;       // 6, the web palette
extern int GIFDefaultColorReductionBits;   // 8
extern int GIFDefaultDitherMode;           // 0, nearest colour
extern int GIFDefaultCompression;          // 0 LZW, 1 run-length
extern int GIFDefaultThreadPriority;       // 3, normal
extern int GIFDefaultAnimationSpeed;       // 100 percent
extern bool GIFImageRenderOnLoad;          // render each frame's bitmap as it is read
extern bool PaletteDevice;                 // set at unit start from the screen

// The largest frame the reader makes a pixel buffer for, and the largest sum
// of all frames of one image. Both are generous for real pictures and keep a
// hostile file from taking all memory; a fuzzer may lower them.
extern int64_t GIFMaxFramePixels;   // 2^28
extern int64_t GIFMaxImagePixels;   // 2^31

} // namespace xpGif10
