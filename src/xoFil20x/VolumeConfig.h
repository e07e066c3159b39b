#pragma once
// The volume configuration: where the volume data lives, the names of the
// files that describe extensions, programs and icons, the base folders of
// the volume kinds, a backup folder, an interval and the file masks left out
// of totals. Loaded at start-up from the shared base settings file and the
// volume settings file it names, written back to both at exit.
#include "xoFil20x/W32Ext.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace xoFil20x {

struct recVsSys {
    std::string WinDif;
    std::string SystemPath;
    std::string Extensions;
    std::string Programs;
    std::string Icons16;
    std::string Icons32;
    std::string VolDataExt;
    std::string VolTextExt;
    std::string HdBase;
    std::string PcBase;
    std::string SdBase;
    std::string CdBase;
    std::string OsBase;
    std::string Floppy;
    std::string BackUp;
    std::string ExcludeFromTotals;
    int32_t DaysToGoDays = 0;
    uint8_t DaysToGoHours = 0;
    uint8_t DaysToGoMinutes = 0;
};

// The process-wide record.
recVsSys& VsSys();
// The column table set by the load; used outside this program.
using VsColumnTable = std::array<uint8_t, 24>;
const VsColumnTable& VsColumns();
// The file category registry; nullptr until the load creates it.
TW32Ext* W32Ext();

// Default volume folder (a drive root becomes its mount point here).
extern const char* const DefaultVolumeFolder;

// Fills the record, the volume folder and file name of the environment,
// and creates the registry (replacing one that exists). A malformed number
// raises EConvertError.
void LoadVolumeSettings(recVsSys& sys);
// Writes every value back to the volume file and the base file. A file that
// cannot be written is skipped silently.
void SaveVolumeSettings(recVsSys& sys);

// The unit's start and stop: the program's main creates it after the
// settings unit's guard, so that it stops before that one. Reference
// counted: only the first guard loads and only the last one saves.
class VolumeUnit {
public:
    VolumeUnit();
    ~VolumeUnit();
    VolumeUnit(const VolumeUnit&) = delete;
    VolumeUnit& operator=(const VolumeUnit&) = delete;
};

} // namespace xoFil20x
