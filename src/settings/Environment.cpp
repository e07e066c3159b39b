#include "settings/Environment.h"

#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/Strings.h"
#include "platform/System.h"
#include "settings/SysServices.h"

#include <cerrno>
#include <cstring>

namespace settings {

namespace {

EnvironmentTexts g_env;
HtmlTable g_charToHtml;
HtmlTable g_charToHtmlAll;
int g_unitCount = 0;

const char* const kBaseFileName = "Varnolek.Ini";
const char* const kCaption = "Kx SysInit";

// Latin-1 entity names for the codes 160 to 255, in code order.
const char* const kLatin1Entities[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

struct NamedChar {
    unsigned char code;
    const char* text;
};

// The extra names of the "all" table: every printable ASCII character that
// is neither letter nor digit, and four control characters.
const NamedChar kAllNames[] = {
    {0, "&NIL"},       {9, "&TAB;"},      {10, "&LF;"},      {13, "&CR;"},      {32, "&sp;"},
    {33, "&excl;"},    {35, "&nbr;"},     {36, "&usd;"},     {37, "&prc;"},     {39, "&apos;"},
    {40, "&lpar;"},    {41, "&rpar;"},    {42, "&ast;"},     {43, "&plus;"},    {44, "&com;"},
    {45, "&hyp;"},     {46, "&dot;"},     {47, "&sla;"},     {58, "&col;"},     {59, "&scol;"},
    {61, "&eq;"},      {63, "&quest;"},   {64, "&at;"},      {91, "&lsqbra;"},  {92, "&bslash;"},
    {93, "&rsqbra;"},  {94, "&caret;"},   {95, "&hobar;"},   {96, "&acute;"},   {123, "&lcubra;"},
    {124, "&vebar;"},  {125, "&rcubra;"}, {126, "&tilde;"},
};

void BuildHtmlTables() {
    for (int c = 0; c < 256; ++c) g_charToHtml[static_cast<size_t>(c)] = std::string(1, static_cast<char>(c));
    g_charToHtml[34] = "&quot;";
    g_charToHtml[38] = "&amp;";
    g_charToHtml[60] = "&lt;";
    g_charToHtml[62] = "&gt;";
    g_charToHtml[128] = "&euro;";
    for (int c = 160; c < 256; ++c)
        g_charToHtml[static_cast<size_t>(c)] = std::string("&") + kLatin1Entities[c - 160] + ";";
    g_charToHtmlAll = g_charToHtml;
    for (const auto& n : kAllNames) g_charToHtmlAll[n.code] = n.text;
}

std::string AskUserName() {
    // The name is asked with a growing buffer; anything but a buffer that is
    // too small, or a name that never fits, falls back to the process's user.
    constexpr int kMaxTries = 25;
    std::string name;
    for (int i = 1; i <= kMaxTries; ++i) {
        if (platform::GetUserName(static_cast<size_t>(41 * i), name)) return name;
        if (errno != ERANGE) break;
    }
    return platform::ProcessUserName();
}

// The question put when no base file is found; every line ends with CR LF.
std::string BaseFileQuestion(const std::string& windowsDir, const std::string& appDir) {
    const std::string lines[] = {
        "Base file Varnolek.Ini was not found. Cannot go on without it.",
        "The file has paths for playlist, slidshow custom root, volume, etc. sub systems.",
        "It is intended to be in Windows direcory, the data is common to all KX powered programs and games.",
        "In application directory file is unique to the programs in the application's directory.",
        "",
        "Yes - Creates the file into Windows directory :",
        " " + windowsDir,
        "",
        "No  - Creates the file into application direcory :",
        "  " + appDir,
        "",
        "Cancel terminates program.",
        "",
        "? You can add, synchronize and maintain multiple locations /  operating systems from the maintenance screen.",
        "? If you or Windows setup deletes the file, you'll get to answer this for recreational purposes.",
    };
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

// Looks for the base file beside the given executable first (the standard
// search starts there for the running program), then along the search path.
std::string SearchBaseFile(const std::string& exeDir) {
    if (!exeDir.empty()) {
        std::string beside = exeDir + kBaseFileName;
        if (platform::FileExists(beside)) return beside;
    }
    return platform::SearchPath(kBaseFileName);
}

[[noreturn]] void CannotCreateBaseFile(const std::string& path, const std::string& why) {
    std::string shown = path.empty() ? std::string("(no path)") : path;
    MsgBox("Cannot create the base file " + shown + "\r\n" + why, kCaption, platform::MB_ICONHAND);
    throw EProgramExit(1, "Cannot create the base file " + shown + ": " + why);
}

void CreateBaseFile(const std::string& path) {
    if (path.empty()) CannotCreateBaseFile(path, "No place was chosen for it.");
    std::string folder = platform::ExtractFilePath(path);
    if (!folder.empty() && !platform::DirectoryExists(folder)) platform::ForceDirectories(folder);
    try {
        platform::TStringList empty;
        empty.SaveToFile(path);
    } catch (const platform::Exception& e) {
        CannotCreateBaseFile(path, e.Message());
    }
}

} // namespace

EnvironmentTexts& Env() { return g_env; }
const HtmlTable& CharToHtml() { return g_charToHtml; }
const HtmlTable& CharToHtmlAll() { return g_charToHtmlAll; }

void InitEnvironment() { InitEnvironmentFor(platform::ExecutablePath()); }

void InitEnvironmentFor(const std::string& executablePath) {
    EnvironmentTexts& env = g_env;
    env.UserName = AskUserName();
    if (!platform::GetComputerName(env.ComputerName)) env.ComputerName = ".";

    // Split the path: the extension starts at the last "." after the last "/".
    size_t slash = executablePath.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : executablePath.substr(0, slash + 1);
    std::string file = slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
    size_t dot = file.rfind('.');
    // Programs here carry no extension as a rule, so a name without a "."
    // is the whole file name (otherwise every such program would share one
    // settings file called ".Ini").
    env.AppName = dot == std::string::npos ? file : file.substr(0, dot);

    // A folder that cannot be written keeps no settings: they go to the
    // configuration folder instead, under the program's own name.
    std::string driveRoot = dir.empty() ? std::string(".") : dir;
    if (platform::GetDriveType(driveRoot) == platform::DRIVE_CDROM)
        env.AppDir = GetWindowsDir();
    else
        env.AppDir = dir;
    env.IniFile = env.AppDir + env.AppName + ".Ini";

    env.BaseFile = SearchBaseFile(dir);
    if (env.BaseFile.empty()) {
        std::string windowsDir = GetWindowsDir();
        int answer = MsgBox(BaseFileQuestion(windowsDir, env.AppDir), kCaption,
                            platform::MB_YESNOCANCEL | platform::MB_ICONQUESTION);
        if (answer == platform::IDCANCEL) throw EProgramExit(0, "The base file Varnolek.Ini was not created.");
        if (answer == platform::IDYES)
            env.BaseFile = windowsDir + kBaseFileName;
        else if (answer == platform::IDNO)
            env.BaseFile = env.AppDir + kBaseFileName;
        CreateBaseFile(env.BaseFile);
    }

    env.ApplicationTitle = env.AppName;
    BuildHtmlTables();
}

void DoneEnvironment() {
    g_env = EnvironmentTexts{};
    g_charToHtml = HtmlTable{};
    g_charToHtmlAll = HtmlTable{};
}

SettingsUnit::SettingsUnit() {
    if (g_unitCount++ > 0) return;
    try {
        InitEnvironment();
    } catch (...) {
        --g_unitCount;
        throw;
    }
}

SettingsUnit::~SettingsUnit() {
    if (--g_unitCount == 0) DoneEnvironment();
}

} // namespace settings
