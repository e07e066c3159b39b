#include "settings/SettingsStore.h"

#include "platform/FileSystem.h"
#include "platform/Variant.h"
#include "settings/Environment.h"
#include "settings/SysServices.h"

#include <memory>

namespace settings {

namespace {
// Created by the first reload and kept for the whole run: the main window
// and the placement code hold on to it between reloads.
std::unique_ptr<platform::TStringList> g_iniList;
} // namespace

platform::TStringList* IniList() { return g_iniList.get(); }

void ReloadSettings() {
    if (!g_iniList)
        g_iniList = std::make_unique<platform::TStringList>();
    else
        g_iniList->Clear();
    if (Env().IniFile.empty()) InitEnvironment();
    const std::string& file = Env().IniFile;
    if (FileFound(platform::TVariant(file), 1)) g_iniList->LoadFromFile(file);
}

namespace {
void MakeFolderOf(const std::string& file) {
    // The configuration folder may not exist yet on a fresh account.
    std::string folder = platform::ExtractFilePath(file);
    if (!folder.empty() && !platform::DirectoryExists(folder)) platform::ForceDirectories(folder);
}
} // namespace

std::unique_ptr<platform::TFileUpdateLock> LockSettingsFile() {
    try {
        const std::string& file = Env().IniFile;
        if (file.empty()) return nullptr;
        MakeFolderOf(file);
        return std::make_unique<platform::TFileUpdateLock>(file);
    } catch (...) {
        return nullptr;  // the flush will fail the same way, quietly
    }
}

void FlushSettings() {
    if (!g_iniList) return;
    try {
        const std::string& file = Env().IniFile;
        if (file.empty()) return;
        MakeFolderOf(file);
        g_iniList->SaveToFile(file);
    } catch (...) {
        // A settings file that cannot be written is not worth a message at
        // exit; the save goes through a temporary file, so the old one stays.
    }
}

} // namespace settings
