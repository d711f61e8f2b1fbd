#include "package/HelperProgram.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr size_t kKeptMessages = 4096;
constexpr int kPollMilliseconds = 100;

class TFd {
  public:
    explicit TFd(int fd = -1) : Fd(fd) {}
    ~TFd() { Close(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    void Close() {
        if (Fd >= 0) ::close(Fd);
        Fd = -1;
    }
    int Fd;
};

class TSpawnSetup {
  public:
    TSpawnSetup() {
        posix_spawn_file_actions_init(&Actions);
        posix_spawnattr_init(&Attributes);
    }
    ~TSpawnSetup() {
        posix_spawn_file_actions_destroy(&Actions);
        posix_spawnattr_destroy(&Attributes);
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;
    posix_spawn_file_actions_t Actions;
    posix_spawnattr_t Attributes;
};

} // namespace

std::string FindHelperProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos) return {};
    std::string folders(path);
    for (size_t start = 0; start <= folders.size();) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        // An empty entry would mean the current folder: never searched.
        if (end > start) {
            const std::string candidate = folders.substr(start, end - start) + "/" + name;
            struct stat st {};
            if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

THelperRun RunHelperProgram(const std::vector<std::string>& arguments,
                            std::chrono::steady_clock::time_point deadline,
                            const std::function<bool()>& keepGoing) {
    THelperRun run;
    if (arguments.empty()) {
        run.Error = "no program named";
        return run;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        run.Error = std::strerror(errno);
        return run;
    }
    TFd readEnd(fds[0]);
    TFd writeEnd(fds[1]);
    TSpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.Actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.Actions, writeEnd.Fd, 2);
    // A group of its own: ending it ends whatever it started too.
    posix_spawnattr_setflags(&setup.Attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&setup.Attributes, 0);
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, argv[0], &setup.Actions, &setup.Attributes, argv.data(), environ);
    writeEnd.Close();
    if (spawned != 0) {
        run.Error = std::strerror(spawned);
        return run;
    }
    run.Started = true;
    bool open = true;
    int status = 0;
    // Once its stderr has closed the program is ending: its end is looked for at once, then
    // less and less often, never more than a poll's wait later.
    int idle = 1;
    for (;;) {
        if (open) {
            pollfd p{readEnd.Fd, POLLIN, 0};
            if (::poll(&p, 1, kPollMilliseconds) > 0) {
                char buffer[4096];
                const ssize_t n = ::read(readEnd.Fd, buffer, sizeof buffer);
                if (n > 0 && run.Messages.size() < kKeptMessages)
                    run.Messages.append(buffer,
                                        std::min<size_t>(static_cast<size_t>(n),
                                                         kKeptMessages - run.Messages.size()));
                if (n == 0) open = false;
            }
        } else {
            ::usleep(static_cast<useconds_t>(idle) * 1000);
            idle = std::min(idle * 2, kPollMilliseconds);
        }
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) break;
        if (std::chrono::steady_clock::now() > deadline || (keepGoing && !keepGoing())) {
            run.Stopped = true;
            ::kill(-pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
    }
    // Whatever it left running in its group goes with it.
    ::kill(-pid, SIGKILL);
    if (!run.Stopped && WIFEXITED(status)) run.ExitCode = WEXITSTATUS(status);
    return run;
}
