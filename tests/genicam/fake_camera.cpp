// fake_camera.cpp - see fake_camera.h.  Test threads only.
#include "fake_camera.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <fstream>
#include <sstream>

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
