#pragma once
// The message box service: the one place through which the program asks or
// tells the user something in a modal box. The program installs the GTK
// dialog; the command-line tools a console responder; tests a scripted one.
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Style bits: buttons in the low nibble, icon, modality.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_OKCANCEL = 0x1;
constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
constexpr unsigned MB_YESNOCANCEL = 0x3;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_RETRYCANCEL = 0x5;
constexpr unsigned MB_ICONHAND = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONEXCLAMATION = 0x30;
constexpr unsigned MB_ICONASTERISK = 0x40;
constexpr unsigned MB_SYSTEMMODAL = 0x1000;
constexpr unsigned MB_TASKMODAL = 0x2000;
// Answers: the button pressed.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class IMessageBoxService {
public:
    virtual ~IMessageBoxService() = default;
    virtual int Show(const std::string& text, const std::string& caption, unsigned flags) = 0;
};

// The service in use; a console responder until something else is installed.
IMessageBoxService& MessageBoxService();
// Installs a service and answers the one it replaced (nullptr for none).
std::shared_ptr<IMessageBoxService> SetMessageBoxService(std::shared_ptr<IMessageBoxService> service);

// Prints caption and text on stderr. Answers OK for a box with an OK button,
// Cancel for a question that has one (No for Yes/No), and Yes to questions
// when built with answerYes.
class ConsoleMessageBox : public IMessageBoxService {
public:
    explicit ConsoleMessageBox(bool answerYes = false) : answerYes_(answerYes) {}
    int Show(const std::string& text, const std::string& caption, unsigned flags) override;
private:
    bool answerYes_;
};

// Records every box and answers from a script; when the script is used up
// it answers the default (OK unless told otherwise).
class ScriptedMessageBox : public IMessageBoxService {
public:
    struct Box {
        std::string text;
        std::string caption;
        unsigned flags;
    };
    int Show(const std::string& text, const std::string& caption, unsigned flags) override;
    void Answer(int answer) { script_.push_back(answer); }
    void SetDefault(int answer) { default_ = answer; }
    const std::vector<Box>& Boxes() const { return boxes_; }
    void ClearBoxes() { boxes_.clear(); }
private:
    std::deque<int> script_;
    std::vector<Box> boxes_;
    int default_ = IDOK;
};

// Installs a service for the lifetime of the guard (tests, tools).
class MessageBoxScope {
public:
    explicit MessageBoxScope(std::shared_ptr<IMessageBoxService> service)
        : previous_(SetMessageBoxService(std::move(service))) {}
    ~MessageBoxScope() { SetMessageBoxService(previous_); }
    MessageBoxScope(const MessageBoxScope&) = delete;
    MessageBoxScope& operator=(const MessageBoxScope&) = delete;
private:
    std::shared_ptr<IMessageBoxService> previous_;
};

} // namespace platform
