#pragma once
// The framework's small shared services: the task-modal message box, system
// error texts, the configuration folder, file and folder tests, a memory
// budget and committed pages.
#include "platform/FileSystem.h"
#include "platform/Variant.h"

#include <cstdint>
#include <string>

namespace settings {

// Shows the message box service's box with the flags plus task-modal;
// answers the button pressed (1 OK, 2 Cancel, 6 Yes, 7 No).
int MsgBox(const platform::TVariant& text, const platform::TVariant& caption = platform::TVariant(""),
           unsigned flags = 0);
// "System error" box with the error's text, " - " and the code; a negative
// code stands for the calling thread's last error.
int ShowSystemError(int code);
// The configuration folder with its trailing "/", or empty text.
std::string GetWindowsDir();
// An existing entry that is neither a folder nor a volume; mode 1 also asks
// for a size above zero. Paths of other than text kinds are never found.
bool FileFound(const platform::TVariant& path, int mode = 0);
// Looks the path up (retrying without one trailing "/"; a root that exists
// counts as found). Options: 1 refuses folders, 2 refuses files.
bool FindEntry(const platform::TVariant& path, platform::FindData& data, unsigned options = 0);
// That percentage (0 counts as 10, above 100 as 100) of the available
// physical memory, rounded half to even.
int64_t MemoryBudget(int percent);
// Committed zeroed pages, filled with the low byte of fill when fill > 0;
// nullptr (after a system error box) when they cannot be had, and for a
// size below 1.
void* AllocPages(int fill, int64_t size);
// Bytes from the page of the address to the end of its block; 0 for none.
int64_t PagesSize(const void* address);
// Frees the block; the held address is always nullptr afterwards.
bool FreePages(void*& address, int64_t size);

} // namespace settings
