#include "HdStringsTool.h"

#include "common/Commands.h"
#include "common/ProgressBar.h"
#include "common/ToolFiles.h"
#include "platform/Exception.h"
#include "platform/MessageBox.h"
#include "platform/SysUtils.h"
#include "xoStr31/EditJournal.h"
#include "xoStr31/HdStrings.h"

#include <memory>

namespace hdstrings {

namespace {

const char* const Help =
    "Usage: hdstrings [OPTIONS] COMMAND FILE [ARGUMENTS]\n"
    "Works on a text file in place, one entry per line. Entries are counted\n"
    "from 0; N, FIRST and LAST are decimal digits only. An entry is every byte\n"
    "of its line up to the line end, zero bytes too. FILE - reads standard\n"
    "input (for the commands that only read).\n"
    "\n"
    "Commands that only read (the file is not changed):\n"
    "  count FILE                 print the number of entries\n"
    "  get FILE N                 print entry N\n"
    "  find FILE TEXT [FIRST [LAST]]\n"
    "                             print the index of the first entry from FIRST\n"
    "                             (default 0) up to LAST (default the last) that\n"
    "                             equals TEXT as a whole line, or -1; entries are\n"
    "                             tried in file order; an empty TEXT finds an\n"
    "                             empty line\n"
    "  sort FILE                  print the entry indexes in sorted order, one a\n"
    "                             line (the order: see --order)\n"
    "Commands that change the file in place:\n"
    "  insert FILE N TEXT         insert TEXT as entry N (N the count or more\n"
    "                             appends); makes FILE when missing\n"
    "  put FILE N TEXT            replace entry N with TEXT\n"
    "  delete FILE N              delete entry N\n"
    "  index FILE                 write the entry table (see below), print the\n"
    "                             count; the table keeps the entries in file order\n"
    "  recover FILE               finish an unfinished change (see Safety) once\n"
    "                             FILE is as the change left it\n"
    "  recover --discard FILE     drop the journal of an unfinished change,\n"
    "                             leaving FILE as it is\n"
    "\n"
    "Options:\n"
    "  --order=ORDER              sort: locale (the default) orders as sort(1)\n"
    "                             does in the locale (LC_ALL, LC_COLLATE, LANG),\n"
    "                             lines it counts as equal by their bytes; bytes\n"
    "                             orders by byte values, as LC_ALL=C sort; both\n"
    "                             keep equal lines in file order, and sorting\n"
    "                             sorted lines changes nothing. list is the\n"
    "                             list's own order: letters A-Z and Latin-1\n"
    "                             capitals folded byte by byte, some pairs of\n"
    "                             signs counted equal ({ and [), each empty line\n"
    "                             put first when it comes; it is no consistent\n"
    "                             order, sorted lines may move again\n"
    "  --ignore-case              find: letters of either case match, as the\n"
    "                             locale (LC_ALL, LC_CTYPE, LANG) pairs them:\n"
    "                             a letter matches those of the same capital\n"
    "                             (final sigma too); UTF-8 aware\n"
    "  --lf                       a new file, or one without any line end yet,\n"
    "                             gets LF line ends (else CR LF)\n"
    "  --help                     show this text\n"
    "  --                         ends the options: what follows is a command,\n"
    "                             file name or text even when it starts with -\n"
    "\n"
    "Line ends: a file whose first line end is a lone LF (an ordinary Linux text\n"
    "file) has entries ended by LF, and new entries get LF; any other file has\n"
    "entries ended by CR LF (a lone CR or LF inside is text). TEXT may not hold\n"
    "a line end.\n"
    "\n"
    "Entry table: FILE with its extension changed to .Rni (FILE.Rni when FILE\n"
    "ends in .Rni itself) lists where each entry ends and names the one file\n"
    "it was made from; while its time equals the file's and it names FILE as\n"
    "it is, it spares the scan of a big file (count reads its header, get two\n"
    "records). Any other table is not used. Changes bring an existing table\n"
    "up to date (a read-only one is left as it is); only index makes a new one.\n"
    "\n"
    "Safety: each change is whole or not at all. While it moves the rest of\n"
    "the file, FILE-journal beside it keeps what is needed to finish it, so a\n"
    "change stopped by a kill, a full disk or a power cut is finished or undone\n"
    "the next time the file is opened (by any command). The journal lies beside\n"
    "the file itself (links resolved; a name too long for \"-journal\" gets a\n"
    "shorter one) and is applied only while FILE is as the change left it:\n"
    "after another program changed FILE, every command refuses it, naming\n"
    "both, until recover or recover --discard decides. A journal that cannot\n"
    "be removed is voided (the change warns). Another user's unfinished change\n"
    "stops reading only once it has moved bytes. A read that fails is an\n"
    "error: nothing is changed. A file being changed is in use by another\n"
    "program until the change is through.\n"
    "\n"
    "Exit code 0 when done, 1 on any failure (the message names the cause).\n";

struct Failure {
    std::string text;
};

// An index as people write one: decimal digits and nothing else. A sign,
// blanks, hex or an exponent would make a typing slip name another entry.
int Index(const std::string& s) {
    int64_t v = 0;
    bool digits = !s.empty() && s.size() <= 10;
    for (char c : s) {
        if (c < '0' || c > '9') {
            digits = false;
            break;
        }
        v = v * 10 + (c - '0');
    }
    if (!digits || v > INT32_MAX)
        throw Failure{"not an index: '" + s + "' (entries are counted from 0, in decimal digits)"};
    return int(v);
}

std::string Cause(const xoStr31::THdStrings& list, const std::string& file) {
    using xoStr31::TFileFault;
    switch (list.LastFault()) {
    case TFileFault::NotFound: return file + ": not found";
    case TFileFault::InUse: return file + ": in use by another program";
    case TFileFault::ReadOnly: return file + ": read-only";
    case TFileFault::NotRegular: return file + ": not a regular file";
    case TFileFault::TooLarge: return file + ": too large";
    case TFileFault::Denied: return file + ": permission denied";
    default: return list.LastError().empty() ? file + ": cannot be opened" : list.LastError();
    }
}

// The list's progress events on a bar, one bar for each kind of work.
class TProgress {
public:
    void Show(const xoStr31::THdStrings& list) {
        if (!bar_ || kind_ != list.ProgressKind()) {
            kind_ = list.ProgressKind();
            bar_.reset();
            bar_ = std::make_unique<tools::TProgressBar>(kind_ == xoStr31::TProgressKind::Index  ? "Indexing"
                                                         : kind_ == xoStr31::TProgressKind::Move ? "Moving"
                                                                                                  : "Sorting");
        }
        bar_->Update(list.Progress() / 100.0);
    }
    // Erases the bar: every answer and message starts on a clean line.
    void Done() { bar_.reset(); }

private:
    std::unique_ptr<tools::TProgressBar> bar_;
    xoStr31::TProgressKind kind_ = xoStr31::TProgressKind::Index;
};

// Messages from the list go to the console on a line of their own.
class TBarClearingBox : public platform::IMessageBoxService {
public:
    explicit TBarClearingBox(TProgress& progress) : progress_(progress) {}
    int Show(const std::string& text, const std::string& caption, unsigned flags) override {
        progress_.Done();
        return console_.Show(text, caption, flags);
    }

private:
    TProgress& progress_;
    platform::ConsoleMessageBox console_{false};
};

// Finishes or drops the journal of an unfinished edit.
int Recover(const std::string& file, bool discard, std::ostream& out) {
    if (!xoStr31::TEditJournal::Exists(file)) {
        out << file << ": no unfinished edit\n";
        return 0;
    }
    if (discard) {
        std::string error;
        if (!xoStr31::TEditJournal::Discard(file, error)) throw Failure{error};
        out << file << ": journal removed, the file is left as it is\n";
        return 0;
    }
    xoStr31::THdStrings list;
    list.SetParam(xoStr31::TParam::StorageMode, xoStr31::TStorageMode::File);
    list.SetCreateMissing(false);
    // Asked for by the user: a disk plugged in again may carry another
    // device number; the file's inode, sizes and bytes must still fit.
    list.SetRecoverAnyDevice(true);
    if (!list.Open(file, false)) throw Failure{Cause(list, file)};
    if (xoStr31::TEditJournal::Exists(file) && list.Warning().empty())
        throw Failure{file + ": the unfinished edit cannot be finished by this user"};
    out << file << ": the unfinished edit is finished\n";
    return 0;
}

// What a command works on once its file is open.
struct TWork {
    TProgress& progress;
    std::string order;
    bool ignoreCase;
    std::string file{};
    xoStr31::THdStrings list{};
    int n = 0, first = 0, last = -1;
};

void Answer(TWork& w, std::ostream& out, const std::string& text) {
    w.progress.Done();
    out << text;
}

std::string NoEntry(const std::string& index, const std::string& file, int count) {
    return "no entry " + index + ": " + file + " has " + std::to_string(count) + " entries, counted from 0";
}

// insert, put and delete: the change, then the entry table brought up to date.
int Change(TWork& w, const tools::TErrorPrinter& errors, const std::string& command, const tools::Args& a) {
    int count = w.list.GetCount();
    if (command != "insert" && w.n >= count) throw Failure{NoEntry(a[1], w.file, count)};
    if (command == "insert")
        w.list.InsertItem(w.n, a[2], 0);
    else if (command == "put")
        w.list.Put(w.n, a[2]);
    else
        w.list.Delete(w.n);
    if (!w.list.LastChangeMade())
        throw Failure{command + " failed on " + w.file + ": " +
                      (w.list.LastError().empty() ? std::string("cannot write") : w.list.LastError()) +
                      (w.list.Stream() ? "; the file is unchanged" : "")};
    const std::string warning = w.list.Warning();
    if (!warning.empty()) errors.Warning(warning);
    if (!w.list.SaveIndex(true) && w.list.Warning() != warning) errors.Warning(w.list.Warning());
    return 0;
}

// The commands; the argument counts include FILE. Every answer is made
// before the first byte of it is printed, with the progress bar erased.
tools::TCommandTable Commands(TWork& w, std::ostream& out, const tools::TErrorPrinter& errors) {
    auto change = [&w, &errors](const char* command) {
        return [&w, &errors, command](const tools::Args& a) { return Change(w, errors, command, a); };
    };
    return tools::TCommandTable({
        {.name = "count", .usage = "count FILE", .run = [&w, &out](const tools::Args&) {
             Answer(w, out, std::to_string(w.list.GetCount()) + "\n");
             return 0;
         }, .minArgs = 1, .maxArgs = 1},
        {.name = "get", .usage = "get FILE N", .run = [&w, &out](const tools::Args& a) {
             if (w.n >= w.list.GetCount()) throw Failure{NoEntry(a[1], w.file, w.list.GetCount())};
             // A line that cannot be read raises, naming the system's reason.
             Answer(w, out, w.list.GetLine(w.n) + "\n");
             return 0;
         }, .minArgs = 2, .maxArgs = 2},
        {.name = "find", .usage = "find FILE TEXT [FIRST [LAST]]", .run = [&w, &out](const tools::Args& a) {
             int found = w.list.FindLine(a[1], w.ignoreCase ? xoStr31::cfIgnoreCase : 0, w.first, w.last);
             Answer(w, out, std::to_string(found) + "\n");
             return 0;
         }, .minArgs = 2, .maxArgs = 4},
        {.name = "sort", .usage = "sort FILE", .run = [&w, &out](const tools::Args&) {
             std::vector<int32_t> sorted;
             if (w.order == "list") {
                 w.list.Sort();
                 for (const auto& r : w.list.SortIndex()) sorted.push_back(r.Entry);
             } else {
                 sorted = w.list.SortLines(w.order == "bytes" ? xoStr31::TTextOrder::Bytes
                                                                : xoStr31::TTextOrder::Locale);
             }
             std::string text;
             for (int32_t i : sorted) {
                 text += std::to_string(i);
                 text += '\n';
             }
             Answer(w, out, text);
             return 0;
         }, .minArgs = 1, .maxArgs = 1},
        {.name = "insert", .usage = "insert FILE N TEXT", .run = change("insert"), .minArgs = 3, .maxArgs = 3},
        {.name = "put", .usage = "put FILE N TEXT", .run = change("put"), .minArgs = 3, .maxArgs = 3},
        {.name = "delete", .usage = "delete FILE N", .run = change("delete"), .minArgs = 2, .maxArgs = 2},
        {.name = "index", .usage = "index FILE", .run = [&w, &out](const tools::Args&) {
             if (!w.list.SaveIndex(false))
                 throw Failure{w.list.Warning().empty() ? "cannot write " + w.list.IndexFileName(w.file)
                                                        : w.list.Warning()};
             Answer(w, out, std::to_string(w.list.GetCount()) + "\n");
             return 0;
         }, .minArgs = 1, .maxArgs = 1},
        // Works on the journal, before the file is opened: Run calls it apart.
        {.name = "recover", .usage = "recover [--discard] FILE", .minArgs = 1, .maxArgs = 1},
    });
}

bool Changes(const std::string& command) {
    return command == "insert" || command == "put" || command == "delete" || command == "index";
}

} // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const tools::TErrorPrinter errors(err, "hdstrings", true);
    bool ignoreCase = false, help = false, lf = false, options = true, discard = false;
    std::string order = "locale";
    std::vector<std::string> words;
    for (const auto& a : args) {
        if (options && a == "--") {
            options = false;
        } else if (options && a == "--ignore-case") {
            ignoreCase = true;
        } else if (options && a.rfind("--order=", 0) == 0) {
            order = a.substr(std::string("--order=").size());
            if (order != "locale" && order != "bytes" && order != "list") {
                errors.Error("unknown order " + order + " (locale, bytes or list)");
                return 1;
            }
        } else if (options && a == "--lf") {
            lf = true;
        } else if (options && a == "--discard") {
            discard = true;
        } else if (options && (a == "--help" || a == "-h")) {
            help = true;
        } else if (options && a.size() > 1 && a[0] == '-' && !(a.size() > 1 && std::isdigit(uint8_t(a[1])))) {
            errors.Error("unknown option " + a + " (see --help)");
            return 1;
        } else {
            words.push_back(a);
        }
    }
    if (help) {
        out << Help;
        return 0;
    }
    TProgress progress;
    platform::MessageBoxScope boxes(std::make_shared<TBarClearingBox>(progress));
    try {
        if (words.size() < 2) throw Failure{"missing command or file (see --help)"};
        const std::string& command = words[0];
        const std::string& file = words[1];
        TWork w{progress, order, ignoreCase, file};
        auto& list = w.list;
        const tools::TCommandTable commands = Commands(w, out, errors);
        const tools::TCommand* c = commands.Find(command);
        auto need = [&]() {
            if (!c->Takes(words.size() - 1)) throw Failure{"wrong number of arguments for " + command};
        };
        if (command == "recover") {
            need();
            return Recover(file, discard, out);
        }
        if (discard) throw Failure{"--discard goes with recover only"};
        if (!c) throw Failure{"unknown command: " + command};
        const bool changes = Changes(command), reads = !changes;
        need();
        if ((command == "insert" || command == "put") && words[3].find_first_of("\r\n") != std::string::npos)
            throw Failure{"the text holds a line end (CR or LF); an entry is one line"};
        // Indexes are checked before the file is opened.
        const bool indexed = command == "get" || command == "delete" || command == "insert" || command == "put";
        w.n = indexed ? Index(words[2]) : 0;
        w.first = command == "find" && words.size() > 3 ? Index(words[3]) : 0;
        w.last = command == "find" && words.size() > 4 ? Index(words[4]) : -1;

        if (!tools::IsStdStream(file) && !lf) {
            // A fresh table answers without a scan; a count needs no table.
            int64_t count = 0;
            std::string text;
            if (command == "count" && (list.CountFromTable(file, count) || list.CountByScan(file, count))) {
                out << count << "\n";
                return 0;
            }
            if (command == "get" && list.GetFromTable(file, w.n, text)) {
                out << text << "\n";
                return 0;
            }
        }
        list.SetParam(xoStr31::TParam::StorageMode, xoStr31::TStorageMode::File);
        if (lf) list.SetLineEnd(xoStr31::TLineEnd::Lf);
        // Only insert makes a missing file.
        list.SetCreateMissing(command == "insert");
        list.OnProgress = [&progress](xoStr31::THdStrings* l) { progress.Show(*l); };
        if (tools::IsStdStream(file)) {
            // Standard input: read whole into memory, for the reading commands.
            if (!reads) throw Failure{command + " changes a file in place: standard input cannot be changed"};
            list.SetParam(xoStr31::TParam::StorageMode, xoStr31::TStorageMode::Memory);
            std::vector<uint8_t> bytes = tools::ReadInput(file);
            list.AppendData(bytes.data(), int64_t(bytes.size()));
            list.UseLineEndOfContent();
        } else if (!list.Open(file, reads)) {
            if (!reads || list.LastFault() != xoStr31::TFileFault::SizeUnknown) throw Failure{Cause(list, file)};
            // A file of the system without a size (/proc): read to its end.
            list.SetParam(xoStr31::TParam::StorageMode, xoStr31::TStorageMode::Memory);
            std::vector<uint8_t> bytes = tools::ReadInput(file);
            list.AppendData(bytes.data(), int64_t(bytes.size()));
            list.UseLineEndOfContent();
        }
        if (changes && list.ReadOnly()) throw Failure{file + ": read-only"};
        if (!list.Warning().empty()) errors.Warning(list.Warning());
        c->run(tools::Args(words.begin() + 1, words.end()));
        progress.Done();
        return 0;
    } catch (const Failure& f) {
        progress.Done();
        errors.Error(f.text);
    } catch (const platform::Exception& e) {
        progress.Done();
        errors.Error(e.what());
    }
    return 1;
}

} // namespace hdstrings
