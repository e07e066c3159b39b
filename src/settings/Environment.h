#pragma once
// The start-up environment: where the program's settings live, the shared
// base settings file "Varnolek.Ini", user and computer names, the
// application title, and two character-to-HTML tables.
#include "platform/Exception.h"

#include <array>
#include <string>

namespace settings {

// Raised when start-up decides the program ends here (the user cancelled
// the base file question: code 0; the base file cannot be created: code 1,
// after a message box naming the path and the system's text). The program
// entry returns the code.
class EProgramExit : public platform::Exception {
public:
    EProgramExit(int code, const std::string& why) : platform::Exception(why), code_(code) {}
    int Code() const { return code_; }
private:
    int code_;
};

// Process-wide texts, empty until InitEnvironment has run.
struct EnvironmentTexts {
    std::string UserName;
    std::string ComputerName;
    std::string AppDir;        // with its trailing "/"
    std::string AppName;
    std::string IniFile;       // AppDir + AppName + ".Ini"
    std::string BaseFile;      // full path of "Varnolek.Ini"
    std::string VolumeFolder;  // filled by the volume configuration
    std::string VolumeFile;    // filled by the volume configuration
    std::string ApplicationTitle;
};
EnvironmentTexts& Env();

using HtmlTable = std::array<std::string, 256>;
const HtmlTable& CharToHtml();
const HtmlTable& CharToHtmlAll();

// Runs the start-up routine. Raises EProgramExit when the program must end.
void InitEnvironment();
// Same, for a given executable path (tests use a temporary folder).
void InitEnvironmentFor(const std::string& executablePath);
// Releases the texts and tables (the settings store's unit exit).
void DoneEnvironment();

// The settings store's unit start and stop, as one guard for the program
// entry: the constructor runs InitEnvironment, the destructor releases.
class SettingsUnit {
public:
    SettingsUnit();
    ~SettingsUnit();
    SettingsUnit(const SettingsUnit&) = delete;
    SettingsUnit& operator=(const SettingsUnit&) = delete;
};

} // namespace settings
