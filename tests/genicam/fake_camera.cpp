// fake_camera.cpp - see fake_camera.h.  Test threads only.
#include "fake_camera.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <fstream>
#include <sstream>
#include <thread>

namespace genicam_test {

bool in_private_network() {
    // /proc/self/net/dev lists the interfaces of this process's own network
    // namespace (sysfs may still show the machine's).
    std::ifstream devices("/proc/self/net/dev");
    std::string line;
    int interfaces = 0;
    bool only_loopback = true;
    while (std::getline(devices, line)) {
        const size_t colon = line.find(':');
        if (colon == std::string::npos) continue;  // the two header lines
        const std::string name = line.substr(line.find_first_not_of(' '), colon - line.find_first_not_of(' '));
        ++interfaces;
        only_loopback = only_loopback && name == "lo";
    }
    return interfaces > 0 && only_loopback;
}

bool FakeCamera::start() {
    if (!in_private_network()) return false;  // never serve a camera on a real network
    kill_now();
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        // A test that dies (a sanitizer halting it) takes its camera along.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        if (description_.empty())
            execlp("arv-fake-gv-camera-0.8", "arv-fake-gv-camera-0.8", "-i", "127.0.0.1", static_cast<char*>(nullptr));
        else
            execlp("arv-fake-gv-camera-0.8", "arv-fake-gv-camera-0.8", "-i", "127.0.0.1", "-g", description_.c_str(),
                   static_cast<char*>(nullptr));
        _exit(127);
    }
    pid_ = pid;
    return true;
}

void FakeCamera::kill_now() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool TestProgram::start() {
    if (!in_private_network()) return false;
    stop();
    std::vector<char*> argv;  // made before fork: the child only calls async-signal-safe functions
    for (std::string& a : argv_) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;
    const pid_t pid = fork();
    if (pid < 0) {
        close(out[0]);
        close(out[1]);
        return false;
    }
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(out[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    pid_ = pid;
    // "ready\n" and nothing more, or end of file if it gave up.
    std::string said;
    char c;
    pollfd ready{out[0], POLLIN, 0};
    while (said.size() < 6 && poll(&ready, 1, 5000) > 0 && read(out[0], &c, 1) == 1) said += c;
    close(out[0]);
    if (said == "ready\n") return true;
    kill_now();
    return false;
}

bool TestProgram::stop() {
    if (pid_ <= 0) return false;
    kill(pid_, SIGTERM);
    int status = 0;
    pid_t gone = 0;
    for (int i = 0; i < 200 && (gone = waitpid(pid_, &status, WNOHANG)) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (gone != pid_) {  // not gone within 2 s
        kill_now();
        return false;
    }
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void TestProgram::kill_now() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

FormatCamera::FormatCamera(const std::string& program, const std::string& formats, const std::string& address,
                           int heartbeat_timeout_ms, const std::string& serial, double frame_rate)
    : TestProgram({program, "--address", address, "--formats", formats, "--serial", serial, "--heartbeat-timeout",
                   std::to_string(heartbeat_timeout_ms > 0 ? heartbeat_timeout_ms : 3000), "--frame-rate",
                   std::to_string(frame_rate)}) {}

ControlRelay::ControlRelay(const std::string& program, const std::string& delay_file, const std::string& listen,
                           const std::string& camera)
    : TestProgram({program, "--listen", listen, "--camera", camera, "--delay-file", delay_file}) {}

void set_delay(const std::string& delay_file, int ms) {
    const std::string draft = delay_file + ".new";
    std::ofstream(draft) << ms << "\n";
    std::filesystem::rename(draft, delay_file);  // the relay never reads half a number
}

std::string description_without_line_status_all(const std::string& source) {
    std::ifstream in(source);
    std::stringstream text;
    text << in.rdbuf();
    std::string xml = text.str();
    const std::string begin = "<!-- LineStatusAll begin -->", end = "<!-- LineStatusAll end -->";
    for (size_t from; (from = xml.find(begin)) != std::string::npos;) {
        const size_t to = xml.find(end, from);
        if (to == std::string::npos) break;
        xml.erase(from, to + end.size() - from);
    }
    const std::string path =
        (std::filesystem::temp_directory_path() / ("genicam-lines-" + std::to_string(getpid()) + ".xml")).string();
    std::ofstream(path) << xml;
    return path;
}

}  // namespace genicam_test
