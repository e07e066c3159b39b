#include "HdStringsTool.h"

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/SysUtils.h"
#include "xoStr31/HdStrings.h"

#include <memory>

namespace hdstrings {

namespace {

const char* const Help =
    "Usage: hdstrings COMMAND FILE [ARGUMENTS] [--yes] [--ignore-case]\n"
    "Works on a text file of CR LF separated entries in place; a valid entry\n"
    "table FILE.Rni beside it (same modification time) spares the scan.\n"
    "\n"
    "  count FILE                 print the number of entries\n"
    "  get FILE N                 print entry N (an empty line when out of range)\n"
    "  insert FILE N TEXT         insert TEXT before entry N (appends when N is\n"
    "                             negative or past the end)\n"
    "  put FILE N TEXT            replace entry N with TEXT\n"
    "  delete FILE N              delete entry N\n"
    "  find FILE TEXT [FIRST [LAST]]\n"
    "                             print the index of the first entry from FIRST\n"
    "                             to LAST equal to TEXT in the locale's order,\n"
    "                             or -1 (--ignore-case ignores letter case)\n"
    "  sort FILE                  print the entry indexes in sorted order, one a line\n"
    "  index FILE                 write the entry table FILE.Rni, print the count\n"
    "  --help                     show this text\n"
    "\n"
    "Messages print on stderr and answer OK (Cancel to questions unless --yes).\n"
    "Changes keep an existing entry table up to date. Exit code 1 on failure.\n";

struct Failure {
    std::string text;
};

int Number(const std::string& s) {
    int32_t v = 0;
    if (!platform::TryStrToInt(s, v)) throw Failure{"not a number: " + s};
    return v;
}

} // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool yes = false, ignoreCase = false, help = false;
    std::vector<std::string> words;
    for (const auto& a : args) {
        if (a == "--yes")
            yes = true;
        else if (a == "--ignore-case")
            ignoreCase = true;
        else if (a == "--help" || a == "-h")
            help = true;
        else
            words.push_back(a);
    }
    if (help) {
        out << Help;
        return 0;
    }
    platform::MessageBoxScope boxes(std::make_shared<platform::ConsoleMessageBox>(yes));
    try {
        if (words.size() < 2) throw Failure{"missing command or file (see --help)"};
        const std::string& command = words[0];
        const std::string& file = words[1];
        auto need = [&](size_t lo, size_t hi) {
            if (words.size() < lo || words.size() > hi) throw Failure{"wrong number of arguments for " + command};
        };
        const bool changes = command == "insert" || command == "put" || command == "delete";
        const bool reads = command == "count" || command == "get" || command == "find" || command == "sort" ||
                           command == "index";
        if (!changes && !reads) throw Failure{"unknown command: " + command};
        if (command == "count" || command == "sort" || command == "index") need(2, 2);
        if (command == "get" || command == "delete") need(3, 3);
        if (command == "insert" || command == "put") need(4, 4);
        if (command == "find") need(3, 5);
        if (reads && !platform::FileExists(file)) throw Failure{"no such file: " + file};

        xoStr31::THdStrings list;
        list.SetParam(0, 2);
        // Reading commands leave the file and its lock alone.
        if (!list.Open(file, reads && command != "index")) throw Failure{"cannot open " + file};

        if (command == "count") {
            out << list.GetCount() << "\n";
        } else if (command == "get") {
            out << list.Get(Number(words[2])) << "\n";
        } else if (command == "find") {
            if (ignoreCase) list.SetFlag(10, true);
            int first = words.size() > 3 ? Number(words[3]) : 0;
            int last = words.size() > 4 ? Number(words[4]) : -1;
            out << list.IndexOfRange(words[2], first, last) << "\n";
        } else if (command == "sort") {
            list.Sort();
            for (const auto& r : list.SortIndex()) out << r.Entry << "\n";
        } else if (command == "index") {
            if (!list.SaveIndex(false)) throw Failure{"cannot write " + list.IndexFileName(file)};
            out << list.GetCount() << "\n";
        } else {
            int n = Number(words[2]);
            int count = list.GetCount();
            bool done = false;
            if (command == "insert") {
                done = list.InsertItem(n, words[3], 0) >= 0 && !list.IoError();
            } else if (command == "put") {
                if (n < 0 || n >= count) throw Failure{"no entry " + words[2]};
                list.Put(n, words[3]);
                done = !list.IoError() && list.Get(n) == words[3].substr(0, words[3].find('\0'));
            } else {
                if (n < 0 || n >= count) throw Failure{"no entry " + words[2]};
                list.Delete(n);
                done = list.GetCount() == count - 1;
            }
            list.TrimStorage();
            list.SaveIndex(true);
            if (!done) throw Failure{command + " failed on " + file};
        }
        return 0;
    } catch (const Failure& f) {
        err << "hdstrings: " << f.text << "\n";
    } catch (const platform::Exception& e) {
        err << "hdstrings: " << e.what() << "\n";
    }
    return 1;
}

} // namespace hdstrings
