// qelini: reads and writes settings files from the command line, for scripts
// and for checking a settings file by hand.
#include "common/Commands.h"
#include "common/ToolFiles.h"
#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/SafeSave.h"
#include "platform/Strings.h"
#include "platform/SysUtils.h"
#include "platform/Variant.h"
#include "settings/SettingsText.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sys/stat.h>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kHelp =
    "Usage: qelini COMMAND FILE SECTION KEY [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Reads and writes settings files: [Section] headers, key=value lines and\n"
    "';' comments. A FILE missing from its folder reads as empty; only set and set-list write\n"
    "FILE back (CR LF after every line). FILE - reads standard input, and set\n"
    "and set-list then write the result to standard output. An empty\n"
    "SECTION (\"\") addresses the lines before the first header.\n"
    "\n"
    "Saving keeps the file's symlinks, mode, owner and hard links and never\n"
    "leaves half a file: the new text replaces the old at once, or the file\n"
    "is written in place after a backup copy when its folder cannot be\n"
    "written. A read-only file, a folder, a pipe or a device is refused. A\n"
    "file that holds a zero byte (UTF-16 text, say) is read up to that byte\n"
    "and never saved over, since the rest would be lost. Concurrent set and\n"
    "set-list runs on one file take turns with each other and with the\n"
    "browser's save at exit, so no update is lost (the lock is on the file\n"
    "itself: a file that does not exist yet is created empty for it).\n"
    "\n"
    "Commands:\n"
    "  get FILE SECTION KEY [--default TEXT] [--kind KIND] [--occurrence N] [--to-eol]\n"
    "      Prints the value on one line; a missing key prints the default\n"
    "      (empty text, 0 or false unless --default is given). KIND is text\n"
    "      (the default), int, float, currency or bool. Integers print in\n"
    "      decimal, floating values in the general format, booleans as 1 or 0\n"
    "      (a stored value is false only when it is exactly 0).\n"
    "  set FILE SECTION KEY VALUE [--kind KIND] [--occurrence N] [--to-eol]\n"
    "      Writes VALUE, converted to KIND (for bool: exactly 0 is false),\n"
    "      replacing the key's value or adding the key (and the section).\n"
    "      A trailing comment keeps its column.\n"
    "  find FILE SECTION KEY [--occurrence N] [--options N]\n"
    "      Prints 'result sectionStart sectionEnd separatorPos': result is the\n"
    "      line index, -1 (section without the key) or -2 (no such section).\n"
    "      Options: 1 ':' also separates, 2 sections end only at '[' in column\n"
    "      1, 4 keys are left-trimmed, 8 a line without separator is a key.\n"
    "  get-list FILE SECTION KEY [--ints]\n"
    "      Prints the numbered list KEY#0, KEY#1, ... one item a line; with\n"
    "      --ints each item's text, a TAB and its integer (stored 'text | n').\n"
    "  set-list FILE SECTION KEY [--ints] [--keep-stale] [ITEM ...]\n"
    "      Writes the items as KEY#0, KEY#1, ...; with --ints the arguments\n"
    "      come in pairs TEXT INTEGER. Higher entries left from a longer list\n"
    "      are removed unless --keep-stale is given.\n"
    "\n"
    "Options:\n"
    "  --occurrence N   the N-th line with the key (0 and 1: the first)\n"
    "  --to-eol         the value runs to the end of the line (no comment)\n"
    "  --               ends the options (for values that begin with --)\n"
    "  --help           prints this text\n"
    "\n"
    "Exit status: 0 on success, 1 on any error (the message goes to stderr),\n"
    "such as a FILE whose folder is missing or cannot be read.\n";

const tools::TErrorPrinter& Errors() {
    static const tools::TErrorPrinter errors(std::cerr, "qelini", true);
    return errors;
}

class UsageError : public platform::Exception {
    using platform::Exception::Exception;
};

struct Arguments {
    std::string command;
    std::vector<std::string> positional;
    bool hasDefault = false;
    std::string defaultText;
    std::string kind = "text";
    int occurrence = 0;
    bool toEol = false;
    unsigned findOptions = 0;
    bool ints = false;
    bool keepStale = false;
};

int NumberArgument(const std::string& option, const std::string& text) {
    int32_t v;
    if (!platform::TryStrToInt(text, v)) throw UsageError(option + " wants a number, not '" + text + "'");
    return v;
}

Arguments Parse(int argc, char** argv) {
    Arguments a;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) throw UsageError(arg + " wants a value");
            return argv[++i];
        };
        if (!optionsEnded && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            if (arg == "--default") {
                a.hasDefault = true;
                a.defaultText = next();
            } else if (arg == "--kind") {
                a.kind = next();
            } else if (arg == "--occurrence") {
                a.occurrence = NumberArgument(arg, next());
            } else if (arg == "--to-eol") {
                a.toEol = true;
            } else if (arg == "--options") {
                a.findOptions = static_cast<unsigned>(NumberArgument(arg, next()));
            } else if (arg == "--ints") {
                a.ints = true;
            } else if (arg == "--keep-stale") {
                a.keepStale = true;
            } else if (arg == "--help") {
                a.command = "--help";
                return a;
            } else {
                throw UsageError("unknown option " + arg);
            }
        } else if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (a.command.empty()) {
            a.command = arg;
        } else {
            a.positional.push_back(arg);
        }
    }
    return a;
}

// A value of the kind the command line names, from its text.
platform::TVariant Typed(const std::string& kind, const std::string& text, bool given) {
    if (kind == "text") return platform::TVariant(text);
    if (kind == "int") return platform::TVariant(given ? static_cast<int>(platform::StrToInt(text)) : 0);
    if (kind == "float") return platform::TVariant(given ? platform::StrToFloat(text) : 0.0);
    if (kind == "currency") return platform::TVariant(given ? platform::StrToCurr(text) : platform::Currency{});
    if (kind == "bool") return platform::TVariant(given && text != "0");
    throw UsageError("unknown kind '" + kind + "' (text, int, float, currency or bool)");
}

std::string Printed(const platform::TVariant& v) {
    switch (v.Kind()) {
    case platform::varBoolean:
        return v.AsBoolean() ? "1" : "0";
    default:
        return v.AsString();
    }
}

void Load(platform::TStringList& list, const std::string& file) {
    if (tools::IsStdStream(file)) {
        auto bytes = tools::ReadInput(file);
        list.SetText(std::string(bytes.begin(), bytes.end()));
        return;
    }
    if (platform::DirectoryExists(file)) throw UsageError("'" + file + "' is a folder");
    struct stat st{};
    if (::stat(file.c_str(), &st) != 0) {
        // Only a file that is missing from a folder that is there reads as
        // empty; a path that cannot be reached is not an empty file.
        int err = errno;
        std::string folder = platform::ExtractFilePath(file);
        if (err == ENOENT && (folder.empty() || platform::DirectoryExists(folder))) return;
        if (err == ENOENT)
            throw platform::EFOpenError("Cannot read '" + file + "': the folder '" + folder + "' does not exist");
        throw platform::EFOpenError("Cannot read '" + file + "': " + std::strerror(err));
    }
    list.LoadFromFile(file);
    if (list.LoadCut() >= 0)
        Errors().Warning("'" + file + "' holds a zero byte at byte " + std::to_string(list.LoadCut()) +
                         "; what follows it is not read");
}

void Save(platform::TStringList& list, const std::string& file) {
    if (!tools::IsStdStream(file)) return list.SaveToFile(file);
    std::string text = list.GetText();
    tools::WriteOutput(file, text.data(), text.size());
}

unsigned ValueOptions(const Arguments& a) { return a.toEol ? settings::rvToEndOfLine : 0; }

// Held across the load and the save of a file that a command changes.
std::unique_ptr<platform::TFileUpdateLock> LockForUpdate(const std::string& file) {
    if (tools::IsStdStream(file)) return nullptr;
    return std::make_unique<platform::TFileUpdateLock>(file);
}

int Get(const Arguments& a) {
    const auto& p = a.positional;
    platform::TStringList list;
    Load(list, p[0]);
    platform::TVariant def = Typed(a.kind, a.defaultText, a.hasDefault);
    platform::TVariant v = settings::ReadValue(&list, p[1], p[2], def, -1, ValueOptions(a), a.occurrence);
    std::printf("%s\n", Printed(v).c_str());
    return 0;
}

int Set(const Arguments& a) {
    const auto& p = a.positional;
    platform::TStringList list;
    platform::TVariant value = Typed(a.kind, p[3], true);
    auto lock = LockForUpdate(p[0]);
    Load(list, p[0]);
    settings::WriteValue(&list, p[1], p[2], value, ValueOptions(a), a.occurrence);
    Save(list, p[0]);
    return 0;
}

int Find(const Arguments& a) {
    const auto& p = a.positional;
    platform::TStringList list;
    Load(list, p[0]);
    int start = 0, end = 0, sep = 0;
    int r = settings::FindKey(&list, p[1], p[2], a.occurrence, start, end, sep, a.findOptions);
    std::printf("%d %d %d %d\n", r, start, end, sep);
    return 0;
}

int GetList(const Arguments& a) {
    const auto& p = a.positional;
    platform::TStringList list;
    Load(list, p[0]);
    platform::TStringList items;
    settings::ReadList(&list, p[1], p[2], items, a.ints ? settings::rlWithIntegers : 0);
    for (int i = 0; i < items.Count(); ++i) {
        if (a.ints)
            std::printf("%s\t%lld\n", items[i].c_str(), static_cast<long long>(items.GetObject(i)));
        else
            std::printf("%s\n", items[i].c_str());
    }
    return 0;
}

int SetList(const Arguments& a) {
    const auto& p = a.positional;
    platform::TStringList list;
    platform::TStringList items;
    if (a.ints) {
        if ((p.size() - 3) % 2 != 0) throw UsageError("--ints wants the items in pairs TEXT INTEGER");
        for (size_t i = 3; i < p.size(); i += 2) items.AddObject(p[i], platform::StrToInt(p[i + 1]));
    } else {
        for (size_t i = 3; i < p.size(); ++i) items.Add(p[i]);
    }
    auto lock = LockForUpdate(p[0]);
    Load(list, p[0]);
    unsigned options = (a.ints ? settings::rlWithIntegers : 0) | (a.keepStale ? settings::rlKeepStale : 0);
    settings::WriteList(&list, p[1], p[2], items, options);
    Save(list, p[0]);
    return 0;
}

// The commands take the parsed line: the table runs each on a.positional's
// count only, the options are already read.
int Run(const Arguments& a) {
    if (a.command.empty() || a.command == "--help") {
        std::fputs(kHelp, stdout);
        return a.command.empty() ? 1 : 0;
    }
    auto with = [&a](int (*command)(const Arguments&)) {
        return [&a, command](const tools::Args&) { return command(a); };
    };
    const tools::TCommandTable commands({
        {.name = "get", .usage = "get FILE SECTION KEY", .run = with(Get), .minArgs = 3, .maxArgs = 3},
        {.name = "set", .usage = "set FILE SECTION KEY VALUE", .run = with(Set), .minArgs = 4, .maxArgs = 4},
        {.name = "find", .usage = "find FILE SECTION KEY", .run = with(Find), .minArgs = 3, .maxArgs = 3},
        {.name = "get-list", .usage = "get-list FILE SECTION KEY", .run = with(GetList), .minArgs = 3, .maxArgs = 3},
        {.name = "set-list", .usage = "set-list FILE SECTION KEY [ITEM ...]", .run = with(SetList), .minArgs = 3},
    });
    const tools::TCommand* c = commands.Find(a.command);
    if (!c) throw UsageError("unknown command '" + a.command + "' (see qelini --help)");
    if (!c->Takes(a.positional.size()))
        throw UsageError("wrong number of arguments for " + a.command + " (see qelini --help)");
    return c->run(a.positional);
}

} // namespace

int main(int argc, char** argv) {
    platform::MessageBoxScope boxes(std::make_shared<platform::ConsoleMessageBox>());
    try {
        return Run(Parse(argc, argv));
    } catch (const std::exception& e) {
        Errors().Error(e.what());
    }
    return 1;
}
