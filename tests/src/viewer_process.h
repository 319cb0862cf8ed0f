// The tolmirex program started as a process of its own for a test, its
// standard output and error collected through pipes. Test thread.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

using Environment = std::vector<std::pair<const char*, const char*>>;

// One run of the program, its standard output and error collected through pipes.
class Viewer {
public:
    explicit Viewer(const Environment& env = Environment(), const std::vector<const char*>& args = {}) {
        int out[2], err[2];
        if (pipe(out) != 0 || pipe(err) != 0) abort();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(err[1], STDERR_FILENO);
            for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
            for (auto& [name, value] : env) set_env(name, value);
            std::vector<char*> argv{const_cast<char*>(TOLMIREX_BINARY)};
            for (const char* arg : args) argv.push_back(const_cast<char*>(arg));
            argv.push_back(nullptr);
            execv(TOLMIREX_BINARY, argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        out_ = out[0];
        err_ = err[0];
        fcntl(out_, F_SETFL, O_NONBLOCK);
        fcntl(err_, F_SETFL, O_NONBLOCK);
    }

    ~Viewer() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
        close(err_);
    }

    // Exit status once the program ended within `seconds`, else -1.
    int wait_exit(double seconds = 10.0) {
        int status = 0;
        const bool ended = wait_until(
            [&] {
                read_output();
                return waitpid(pid_, &status, WNOHANG) == pid_;
            },
            seconds);
        if (!ended) return -1;
        exited_ = true;
        read_output();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    bool running() { return !exited_ && waitpid(pid_, nullptr, WNOHANG) == 0; }

    // Sends a signal, as Ctrl-C (SIGINT) or a service manager (SIGTERM) does.
    void send_signal(int signal_number) {
        if (!exited_) kill(pid_, signal_number);
    }

    // Resident memory of the running program, in MB. A reading that fails
    // fails the test and is infinite, so that no bound passes on it.
    double resident_mb() const {
        const std::string path = "/proc/" + std::to_string(pid_) + "/status";
        FILE* status = fopen(path.c_str(), "r");
        if (!status) {
            ADD_FAILURE() << "cannot read " << path;
            return std::numeric_limits<double>::infinity();
        }
        char line[256];
        long kb = -1;
        while (fgets(line, sizeof line, status))
            if (sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
        fclose(status);
        if (kb < 0) {
            ADD_FAILURE() << "no VmRSS line in " << path;
            return std::numeric_limits<double>::infinity();
        }
        return kb / 1024.0;
    }

    const std::string& output() {
        read_output();
        return output_;
    }

    const std::string& errors() {
        read_output();
        return errors_;
    }

private:
    void read_output() {
        char buffer[4096];
        ssize_t n;
        while ((n = read(out_, buffer, sizeof buffer)) > 0) output_.append(buffer, size_t(n));
        while ((n = read(err_, buffer, sizeof buffer)) > 0) errors_.append(buffer, size_t(n));
    }

    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    bool exited_ = false;
    std::string output_, errors_;
};
