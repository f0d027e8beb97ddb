// horalet-wakealarm: sets or clears the wake alarm of the machine's real-time clock, and
// nothing else. It runs as root (through pkexec, or from a program already running as root),
// so it takes no path, no option and no environment: one epoch second, or "clear".
//
// Exit codes (WakeAlarmExit in the program mirrors them):
//   0 done, 2 bad argument (also a time out of bounds), 3 no clock with a wake alarm,
//   4 the clock refused the time or did not keep it.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int ExitDone = 0;
constexpr int ExitBadArgument = 2;
constexpr int ExitNoClock = 3;
constexpr int ExitRefused = 4;

constexpr long long MinAheadSeconds = 60;
constexpr long long MaxAheadSeconds = 366LL * 24 * 3600;

const char *const RtcClass = "/sys/class/rtc";

// Digits only, no sign, no blanks: at most 12 of them (far beyond any allowed time).
bool parseSeconds(const char *text, long long &out) {
    const size_t length = std::strlen(text);
    if (length == 0 || length > 12)
        return false;
    long long value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    out = value;
    return true;
}

// "rtc<digits>" -> its number, else -1.
long rtcNumber(const char *name) {
    if (std::strncmp(name, "rtc", 3) != 0 || name[3] == '\0')
        return -1;
    long number = 0;
    for (const char *p = name + 3; *p; ++p) {
        if (*p < '0' || *p > '9' || number > 100000)
            return -1;
        number = number * 10 + (*p - '0');
    }
    return number;
}

// The wakealarm file of the lowest-numbered clock that has one; empty when none has.
std::string findWakeAlarm(std::string &clockName) {
    DIR *dir = opendir(RtcClass);
    if (!dir)
        return {};
    std::vector<std::pair<long, std::string>> clocks;
    while (const dirent *entry = readdir(dir)) {
        const long number = rtcNumber(entry->d_name);
        if (number >= 0)
            clocks.emplace_back(number, entry->d_name);
    }
    closedir(dir);
    std::sort(clocks.begin(), clocks.end());
    for (const auto &[number, name] : clocks) {
        const std::string path = std::string(RtcClass) + "/" + name + "/wakealarm";
        if (access(path.c_str(), F_OK) == 0) {
            clockName = name;
            return path;
        }
    }
    return {};
}

bool writeText(const std::string &path, const std::string &text) {
    // O_TRUNC for a plain file standing in for the clock; sysfs ignores it.
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::string line = text + "\n";
    const ssize_t written = write(fd, line.data(), line.size());
    const bool ok = written == static_cast<ssize_t>(line.size());
    return close(fd) == 0 && ok;
}

bool readText(const std::string &path, std::string &text) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[64];
    const ssize_t got = read(fd, buffer, sizeof buffer - 1);
    close(fd);
    if (got < 0)
        return false;
    text.assign(buffer, static_cast<size_t>(got));
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return true;
}

std::string localText(long long seconds) {
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    char buffer[32] = "";
    if (localtime_r(&t, &local))
        std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return buffer;
}

int usage(const char *why) {
    std::fprintf(stderr,
                 "horalet-wakealarm: %s\nusage: horalet-wakealarm <epoch seconds> | clear\n", why);
    return ExitBadArgument;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2)
        return usage("exactly one argument");
    const std::string argument = argv[1];
    const bool clear = argument == "clear";
    long long at = 0;
    if (!clear) {
        if (!parseSeconds(argv[1], at))
            return usage("not a time in seconds since the epoch");
        const long long now = static_cast<long long>(std::time(nullptr));
        if (at < now + MinAheadSeconds)
            return usage("the time is less than 60 seconds ahead");
        if (at > now + MaxAheadSeconds)
            return usage("the time is more than 366 days ahead");
    }

    std::string clockName;
    const std::string path = findWakeAlarm(clockName);
    if (path.empty()) {
        std::fprintf(stderr, "horalet-wakealarm: no real-time clock with a wake alarm\n");
        return ExitNoClock;
    }
    // A clock with an alarm pending refuses a new one until it is cleared.
    if (!writeText(path, "0")) {
        std::fprintf(stderr, "horalet-wakealarm: %s: %s\n", path.c_str(), std::strerror(errno));
        return ExitRefused;
    }
    std::string back;
    if (clear) {
        if (!readText(path, back) || !(back.empty() || back == "0")) {
            std::fprintf(stderr, "horalet-wakealarm: %s still holds %s\n", path.c_str(),
                         back.c_str());
            return ExitRefused;
        }
        std::printf("%s: wake alarm cleared\n", clockName.c_str());
        return ExitDone;
    }
    const std::string wanted = std::to_string(at);
    if (!writeText(path, wanted)) {
        std::fprintf(stderr, "horalet-wakealarm: %s: %s\n", path.c_str(), std::strerror(errno));
        return ExitRefused;
    }
    if (!readText(path, back) || back != wanted) {
        std::fprintf(stderr, "horalet-wakealarm: %s reads back \"%s\", not %s\n", path.c_str(),
                     back.c_str(), wanted.c_str());
        return ExitRefused;
    }
    std::printf("%s: wake alarm set to %s (%s)\n", clockName.c_str(), wanted.c_str(),
                localText(at).c_str());
    return ExitDone;
}
