#pragma once
// A private X server on a display number of its own, for programs driven
// like a person would drive them: their pointer and keyboard are ours alone.
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

class PrivateXvfb {
public:
    PrivateXvfb() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char ch;
        while (::read(fds[0], &ch, 1) == 1 && ch != '\n') number += ch;
        ::close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~PrivateXvfb() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    PrivateXvfb(const PrivateXvfb&) = delete;
    PrivateXvfb& operator=(const PrivateXvfb&) = delete;
    // ":N", or empty when the server did not start.
    const std::string& Name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};
