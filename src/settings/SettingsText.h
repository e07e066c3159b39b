#pragma once
// The settings text engine: sections of key lines ("key=value ; comment")
// in a list of text lines, read and written by section and key with typed
// values and numbered lists. The engine never touches files: callers load a
// list, work through these operations and save it again. It keeps no index:
// every call scans the lines as they stand, so lines it does not understand
// survive every read and write untouched.
#include "platform/Strings.h"
#include "platform/Variant.h"

#include <cstdint>
#include <string>
#include <vector>

namespace settings {

// FindKey options.
constexpr unsigned fkColonSeparates = 1;   // ":" also separates key and value
constexpr unsigned fkHeaderInColumn1 = 2;  // a section ends only at "[" in column 1
constexpr unsigned fkLeftTrimKeys = 4;     // key lines are left-trimmed first
constexpr unsigned fkBareKeys = 8;         // a line without separator is a key
// ReadValue / WriteValue option: the value is the whole rest of the line.
constexpr unsigned rvToEndOfLine = 1;
// ReadList / WriteList options.
constexpr unsigned rlWithIntegers = 0x40;  // "text | integer" items
constexpr unsigned rlKeepStale = 0x80;     // WriteList keeps higher entries

// Answers -3 (no list), -2 (no such section), -1 (section without the key),
// or the index of the matching line; sectionStart, sectionEnd and the
// 1-based separatorPos as described with each result.
int FindKey(platform::TStrings* list, const std::string& section, const std::string& key, int occurrence,
            int& sectionStart, int& sectionEnd, int& separatorPos, unsigned options = 0);

// A section's name, or its header line, as FindKey matches headers:
// trimmed, in brackets, letters in upper case. Two sections are the same
// section when their keys are equal.
std::string SectionKey(const std::string& section);
// The list cut into its sections, each a list of its own with its header
// line first (lines before the first header are left out): a caller that
// reads many sections looks each up once instead of scanning the list for
// every one.
std::vector<platform::TStringList> SplitSections(platform::TStrings& list);

// The typed read: kind is a kind code, or -1 for the kind of the default.
// A missing key answers the default; malformed numbers raise EConvertError.
platform::TVariant ReadValue(platform::TStrings* list, const std::string& section, const std::string& key,
                             const platform::TVariant& defaultValue, int kind = -1, unsigned options = 0,
                             int occurrence = 0);

// The typed read of a program restoring its own settings from a file: a
// value that does not convert is reported in a message box that names the
// file, the section, the key and the text, and the default takes its place,
// so that one bad line never stops the rest of a restore.
platform::TVariant ReadValueOrDefault(platform::TStrings* list, const std::string& file, const std::string& section,
                                      const std::string& key, const platform::TVariant& defaultValue);

// The typed write; false only for a missing list.
bool WriteValue(platform::TStrings* list, const std::string& section, const std::string& key,
                const platform::TVariant& value, unsigned options = 0, int occurrence = 0);

// Numbered lists "key#0", "key#1", ... up to the first missing or empty
// value. Items are appended to target with an integer each (the object).
int ReadList(platform::TStrings* list, const std::string& section, const std::string& key,
             platform::TStrings& target, unsigned options = 0);
void WriteList(platform::TStrings* list, const std::string& section, const std::string& key,
               platform::TStrings& source, unsigned options = 0);
// Deletes the entries key#from, key#from+1, ... up to key#to or the first
// one missing (the first line of each); answers how many went.
int DeleteListEntries(platform::TStrings* list, const std::string& section, const std::string& key, int64_t from,
                      int64_t to);

} // namespace settings
