#pragma once
// Programs run in processes of their own, as the tests' own user or as an
// unprivileged one, and whether the machine has a program at all.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace qeltest {

// Runs a program with extra environment variables; answers its exit code,
// or 128 + the signal that ended it. Standard output and error are dropped
// unless err or out is given.
inline int Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                 std::string* err = nullptr, std::string* out = nullptr) {
    int pipeFd[2] = {-1, -1}, outFd[2] = {-1, -1};
    if (err && ::pipe(pipeFd) != 0) return -1;
    if (out && ::pipe(outFd) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(out ? outFd[1] : null, 1);
        ::dup2(err ? pipeFd[1] : null, 2);
        for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
        // The leak checker of a sanitizer build cannot run under a tracer.
        // Later options win, so it goes after whatever the run already set.
        if (argv[0] == "strace") {
            const char* given = ::getenv("ASAN_OPTIONS");
            const std::string options = std::string(given ? given : "") + (given && *given ? ":" : "") + "detect_leaks=0";
            ::setenv("ASAN_OPTIONS", options.c_str(), 1);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    // Both pipes are read as the program writes them, so that neither
    // fills up while the other is waited on.
    struct pollfd fds[2];
    std::string* into[2];
    nfds_t open = 0;
    if (err) {
        ::close(pipeFd[1]);
        fds[open] = {pipeFd[0], POLLIN, 0};
        into[open++] = err;
    }
    if (out) {
        ::close(outFd[1]);
        fds[open] = {outFd[0], POLLIN, 0};
        into[open++] = out;
    }
    while (open > 0) {
        if (::poll(fds, open, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (nfds_t i = 0; i < open; ++i) {
            if (!fds[i].revents) continue;
            char buf[4096];
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                into[i]->append(buf, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            ::close(fds[i].fd);
            fds[i] = fds[open - 1];
            into[i] = into[open - 1];
            --open;
            break;
        }
    }
    for (nfds_t i = 0; i < open; ++i) ::close(fds[i].fd);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// The same program as an unprivileged user when the tests run as root.
inline std::vector<std::string> AsUser(std::vector<std::string> argv) {
    if (::geteuid() != 0) return argv;
    std::vector<std::string> user = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
    user.insert(user.end(), argv.begin(), argv.end());
    return user;
}

struct ShellResult {
    int status = -1;  // the exit code, 128 + the signal, or -1 when no shell ran
    std::string out;
};

// Runs a shell command line and reads its standard output to the end;
// standard error goes where the test's own goes unless the line redirects it.
inline ShellResult Shell(const std::string& command) {
    ShellResult r;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return r;
    char buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
    return r;
}

// Whether a shell command line succeeds, its output dropped: "convert
// -version", "python3 -c 'import PIL'".
inline bool Have(const std::string& probe) { return std::system((probe + " >/dev/null 2>&1").c_str()) == 0; }

// Whether a program of that name is on the PATH.
inline bool HaveTool(const std::string& name) { return Have("command -v " + name); }

} // namespace qeltest
