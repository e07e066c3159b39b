#include "xoFil20x/VolumeConfig.h"

#include "platform/Exception.h"
#include "platform/FileUpdateLock.h"
#include "platform/Strings.h"
#include "settings/Environment.h"
#include "settings/SettingsText.h"
#include "settings/SysServices.h"

namespace xoFil20x {

using platform::TVariant;

const char* const DefaultVolumeFolder = "/mnt/e/xdDisk/";

namespace {

recVsSys g_vsSys;
VsColumnTable g_columns{};
std::unique_ptr<TW32Ext> g_w32Ext;
int g_unitCount = 0;

constexpr VsColumnTable ColumnValues{1,  3,  4,  6,  34, 44, 54, 10, 15, 18, 21, 24,
                                     27, 30, 60, 65, 68, 71, 74, 77, 80, 84, 99, 104};

const char* const Vols = "Vols";

std::string ReadText(platform::TStrings* list, const char* section, const char* key, const std::string& def) {
    return settings::ReadValue(list, section, key, TVariant(def)).AsString();
}

// A malformed number is reported and its default used.
int64_t ReadInt(platform::TStrings* list, const std::string& file, const char* key, int def) {
    return settings::ReadValueOrDefault(list, file, Vols, key, TVariant(def)).AsInteger();
}

void LoadIfFound(platform::TStringList& list, const std::string& path) {
    if (settings::FileFound(TVariant(path), 1)) list.LoadFromFile(path);
}

// A settings file that cannot be written at exit is left as it is; the rest
// of the exit goes on.
void SaveQuietly(platform::TStringList& list, const std::string& path) {
    try {
        list.SaveToFile(path);
    } catch (...) {
    }
}

// Held from the load of a file to its save at exit, so that a change another
// writer makes meanwhile is not saved over; a lock that cannot be had is no
// reason to keep the values from being saved.
std::unique_ptr<platform::TFileUpdateLock> LockQuietly(const std::string& path) {
    try {
        return std::make_unique<platform::TFileUpdateLock>(path);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

recVsSys& VsSys() { return g_vsSys; }
const VsColumnTable& VsColumns() { return g_columns; }
TW32Ext* W32Ext() { return g_w32Ext.get(); }

void LoadVolumeSettings(recVsSys& sys) {
    g_columns = ColumnValues;
    sys.VolDataExt = ".Tvd";
    sys.VolTextExt = ".Tvt";
    auto& env = settings::Env();

    platform::TStringList list;
    LoadIfFound(list, env.BaseFile);
    env.VolumeFolder = ReadText(&list, Vols, "VsPath", DefaultVolumeFolder);
    env.VolumeFile = ReadText(&list, Vols, "VsBase", "xdVols.Ini");

    list.Clear();
    const std::string volumeFile = env.VolumeFolder + env.VolumeFile;
    LoadIfFound(list, volumeFile);
    sys.SystemPath = ReadText(&list, Vols, "SystemPath", "zzSys/");
    sys.Extensions = ReadText(&list, Vols, "Extensions", "xdExt.Ini");
    sys.Programs = ReadText(&list, Vols, "Programs", "xdPgm.Ini");
    sys.Icons16 = ReadText(&list, Vols, "Icons16", "xdIcons16.Bmp");
    sys.Icons32 = ReadText(&list, Vols, "Icons32", "xdIcons32.Bmp");
    sys.HdBase = ReadText(&list, Vols, "HdBase", "HdBase/");
    sys.PcBase = ReadText(&list, Vols, "PcBase", "PcBase/");
    sys.SdBase = ReadText(&list, Vols, "SdBase", "SdBase/");
    sys.CdBase = ReadText(&list, Vols, "CdBase", "CdBase/");
    sys.OsBase = ReadText(&list, Vols, "OsBase", "OSBase/");
    sys.Floppy = ReadText(&list, Vols, "Floppy", "/mnt/e/xdFloppy/");
    sys.BackUp = ReadText(&list, Vols, "BackUp", env.VolumeFolder + "xxBack/");
    sys.DaysToGoDays = static_cast<int32_t>(ReadInt(&list, volumeFile, "DaysToGo.Days", 0));
    sys.DaysToGoHours = static_cast<uint8_t>(ReadInt(&list, volumeFile, "DaysToGo.Hours", 0) & 0xFF);
    sys.DaysToGoMinutes = static_cast<uint8_t>(ReadInt(&list, volumeFile, "DaysToGo.Minutes", 10) & 0xFF);
    sys.WinDif = ReadText(&list, Vols, "WinDif", "");
    sys.ExcludeFromTotals = ReadText(&list, "", "ExcludeFromTotals", "thumbs.db;zzTmb.*");
    list.Clear();

    g_w32Ext = std::make_unique<TW32Ext>();
}

void SaveVolumeSettings(recVsSys& sys) {
    auto& env = settings::Env();
    if (env.VolumeFolder.empty()) LoadVolumeSettings(sys);

    platform::TStringList list;
    const std::string volumeFile = env.VolumeFolder + env.VolumeFile;
    auto lock = LockQuietly(volumeFile);
    LoadIfFound(list, volumeFile);
    auto text = [&](const char* key, const std::string& value) {
        settings::WriteValue(&list, Vols, key, TVariant(value));
    };
    auto number = [&](const char* key, int64_t value) { settings::WriteValue(&list, Vols, key, TVariant(value)); };
    text("SystemPath", sys.SystemPath);
    text("Extensions", sys.Extensions);
    text("Programs", sys.Programs);
    text("Icons16", sys.Icons16);
    text("Icons32", sys.Icons32);
    text("HdBase", sys.HdBase);
    text("PcBase", sys.PcBase);
    text("SdBase", sys.SdBase);
    text("CdBase", sys.CdBase);
    text("OsBase", sys.OsBase);
    text("Floppy", sys.Floppy);
    text("BackUp", sys.BackUp);
    number("DaysToGo.Days", sys.DaysToGoDays);
    number("DaysToGo.Hours", sys.DaysToGoHours);
    number("DaysToGo.Minutes", sys.DaysToGoMinutes);
    text("ExcludeFromTotals", sys.ExcludeFromTotals);
    text("WinDif", sys.WinDif);
    SaveQuietly(list, volumeFile);
    lock.reset();

    list.Clear();
    if (env.BaseFile.empty()) {
        try {
            settings::InitEnvironment();
        } catch (...) {
            return;  // no base file to write to
        }
    }
    lock = LockQuietly(env.BaseFile);
    LoadIfFound(list, env.BaseFile);
    settings::WriteValue(&list, "", "VsPath", TVariant(env.VolumeFolder));
    settings::WriteValue(&list, "", "VsBase", TVariant(env.VolumeFile));
    SaveQuietly(list, env.BaseFile);
}

VolumeUnit::VolumeUnit() {
    if (g_unitCount++ > 0) return;
    try {
        LoadVolumeSettings(g_vsSys);
    } catch (...) {
        --g_unitCount;
        g_w32Ext.reset();
        throw;
    }
}

VolumeUnit::~VolumeUnit() {
    if (--g_unitCount > 0) return;
    try {
        SaveVolumeSettings(g_vsSys);
    } catch (...) {
    }
    g_w32Ext.reset();
    g_vsSys = recVsSys{};
}

} // namespace xoFil20x
