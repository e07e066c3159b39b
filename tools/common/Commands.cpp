#include "Commands.h"

namespace tools {

const TCommand* TCommandTable::Find(const std::string& name) const {
    for (const auto& c : commands_)
        if (c.name == name) return &c;
    return nullptr;
}

std::string TErrorPrinter::Start(const std::string& subject) const {
    std::string start = named_ ? tool_ + ": " : std::string();
    if (!subject.empty()) start += subject + ": ";
    return start;
}

void TErrorPrinter::Error(const std::string& message, const std::string& subject) const {
    err_ << Start(subject) << message << "\n";
}

void TErrorPrinter::Warning(const std::string& message) const {
    err_ << Start("") << "warning: " << message << "\n";
}

void TErrorPrinter::Usage(const std::string& message, const std::string& usage, const std::string& subject) const {
    err_ << Start(subject) << message << "\nusage: " << tool_ << " " << usage << "\n";
}

} // namespace tools
