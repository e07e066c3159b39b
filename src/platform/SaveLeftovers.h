#pragma once
// What a killed whole-file save leaves behind, and how the next save of the
// same file finds it. Only names this program makes are looked at, and only
// files of the user that no live save holds (each save keeps an flock on its
// temporary file and its backup for as long as they live) and that are old
// enough not to be a save that has just made them.
#include <cstdint>
#include <string>
#include <sys/types.h>

namespace platform {

// Seconds a leftover must have been left untouched before it is cleared.
constexpr int64_t kLeftoverAge = 10;
// Characters of the random part of a temporary name.
constexpr size_t kTempSuffixLength = 8;

// ".NAME." for the temporary files beside NAME, NAME cut short so that the
// whole temporary name fits in the system's limit for one name.
std::string TempPrefix(const std::string& name);
// "qel-backup-NAME-" for the backups of NAME in the temporary folder.
std::string BackupPrefix(const std::string& name);

// Removes the temporary files of a killed save of the file named name in
// the folder open as dirFd: the user's own, or those of the file's owner
// (a save by root gives its temporary file the owner of the file it
// replaces). A folder that cannot be listed hides them: they stay.
void RemoveLeftoverTemporaries(int dirFd, const std::string& name, uid_t owner);

// Tags a backup with the file it copies and the content that is about to
// replace it, so that a later save can tell whether the write it guarded
// came through.
void TagBackup(int backupFd, int targetFd, int newContentFd);

// Looks at the backups of the target left by killed saves: one whose file
// now holds the old content or the new one is removed; one whose file was
// left as the new content followed by the old one's tail is finished (cut to
// the new length) and removed; any other is kept and named in a message box
// (path is the name the user gave), as the file may have been changed since.
void ReviewLeftoverBackups(const std::string& target, const std::string& path);

} // namespace platform
