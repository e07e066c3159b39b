#pragma once
// The command table and the error printer the command-line tools share.
// A tool lists its commands once (name, usage line, how many arguments,
// what runs them); main finds the command, checks the argument count and
// reports failures through one printer, in the tool's own message style.
#include <cstddef>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace tools {

using Args = std::vector<std::string>;

struct TCommand {
    static constexpr size_t Unlimited = std::numeric_limits<size_t>::max();

    std::string name{};
    // The command line after the tool's name: "info FILE".
    std::string usage{};
    // Longer text for the tool's help; may be empty.
    std::string help{};
    // Gets the arguments after the command name; answers the exit status.
    std::function<int(const Args&)> run{};
    // Takes IN and OUT first (a tool's batch mode can change a file in place).
    bool inPlace = false;
    // How many arguments after the command name the table lets through.
    size_t minArgs = 0;
    size_t maxArgs = Unlimited;

    bool Takes(size_t count) const { return count >= minArgs && count <= maxArgs; }
};

class TCommandTable {
public:
    explicit TCommandTable(std::vector<TCommand> commands) : commands_(std::move(commands)) {}
    // The command of that exact name, or null.
    const TCommand* Find(const std::string& name) const;
    const std::vector<TCommand>& All() const { return commands_; }

private:
    std::vector<TCommand> commands_;
};

// How a tool reports on standard error. A named printer starts each line with
// "tool: "; a bare one prints the message alone. A subject (a file of a batch)
// goes before the message as "subject: ".
class TErrorPrinter {
public:
    TErrorPrinter(std::ostream& err, std::string tool, bool named)
        : err_(err), tool_(std::move(tool)), named_(named) {}

    void Error(const std::string& message, const std::string& subject = "") const;
    void Warning(const std::string& message) const;
    // The message, then "usage: tool USAGE" on a line of its own.
    void Usage(const std::string& message, const std::string& usage, const std::string& subject = "") const;
    const std::string& Tool() const { return tool_; }

private:
    std::string Start(const std::string& subject) const;

    std::ostream& err_;
    std::string tool_;
    bool named_;
};

} // namespace tools
