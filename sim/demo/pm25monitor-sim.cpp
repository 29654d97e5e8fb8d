// The demo: a simulated sensor on a umockdev bed, and the unchanged monitor
// started under the umockdev preload so that it finds the sensor over USB or
// through the USB-serial bridge.
#include "simbed.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef UMOCKDEV_PRELOAD_PATH
#define UMOCKDEV_PRELOAD_PATH "libumockdev-preload.so.0"
#endif

namespace {

// The monitor beside this launcher (installed, or in the build's bin/), else the one on PATH.
std::string DefaultProgram()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, size_t(n));
        dir.erase(dir.rfind('/') + 1);
        const std::string sibling = dir + "pm25monitor";
        if (access(sibling.c_str(), X_OK) == 0)
            return sibling;
    }
    return "pm25monitor";
}

struct Options {
    bool serial = false;
    int type = 20; // a two-channel model
    std::vector<uint8_t> kinds;
    int history = 288;
    uint32_t seed = 1;
    std::string program = DefaultProgram();
};

void Usage(const char *self)
{
    std::fprintf(stderr,
                 "usage: %s [--link usb|serial] [--type N] [--kinds 1,17] [--history N]\n"
                 "          [--seed N] [--program PATH]\n"
                 "Starts the monitor with a simulated sensor (default: USB, type 20,\n"
                 "measurement kinds 1 and 17, 288 stored history values).\n",
                 self);
}

std::vector<uint8_t> ParseKinds(const char *text)
{
    std::vector<uint8_t> kinds;
    for (const char *p = text; *p;) {
        char *end = nullptr;
        const long k = std::strtol(p, &end, 10);
        if (end == p || k < 0 || k > 255)
            return {};
        kinds.push_back(uint8_t(k));
        p = *end == ',' ? end + 1 : end;
        if (*end && *end != ',')
            return {};
    }
    return kinds;
}

bool ParseInt(const char *text, long lo, long hi, long *out)
{
    char *end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool Parse(int argc, char **argv, Options *o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long v = 0;
        if (arg == "--help" || arg == "-h")
            return false;
        if (!value)
            return false;
        ++i;
        if (arg == "--link" && (std::strcmp(value, "usb") == 0 || std::strcmp(value, "serial") == 0))
            o->serial = std::strcmp(value, "serial") == 0;
        else if (arg == "--type" && ParseInt(value, 0, 255, &v))
            o->type = int(v);
        else if (arg == "--history" && ParseInt(value, 0, 5000, &v))
            o->history = int(v);
        else if (arg == "--seed" && ParseInt(value, 0, 0x7fffffff, &v))
            o->seed = uint32_t(v);
        else if (arg == "--kinds")
            o->kinds = ParseKinds(value);
        else if (arg == "--program")
            o->program = value;
        else
            return false;
        if (arg == "--kinds" && o->kinds.empty())
            return false;
    }
    if (o->kinds.empty())
        o->kinds = o->type == 20 ? std::vector<uint8_t>{1, 17} : std::vector<uint8_t>{1};
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options opt;
    if (!Parse(argc, argv, &opt)) {
        Usage(argv[0]);
        return 2;
    }

    sim::SimBed bed(sim::SimBed::Role::Launcher);
    const int id = opt.serial ? bed.addSerialSensor() : bed.addUsbSensor();
    bed.with(id, [&](sim::SimSensor &s) {
        s.setDeviceType(uint8_t(opt.type));
        s.setKinds(opt.kinds);
        s.reseed(opt.seed);
        s.generateHistory(size_t(opt.history), int64_t(std::time(nullptr)) / 60 * 60);
    });
    bed.runClock(true);
    std::fprintf(stderr, "[pm25monitor-sim] sensor type %d on %s; starting %s\n", opt.type,
                 opt.serial ? "the serial bridge" : "USB", opt.program.c_str());

    const pid_t child = fork();
    if (child == 0) {
        setenv("LD_PRELOAD", UMOCKDEV_PRELOAD_PATH, 1);
        execlp(opt.program.c_str(), opt.program.c_str(), static_cast<char *>(nullptr));
        std::perror("exec");
        _exit(127);
    }
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    int status = 0;
    waitpid(child, &status, 0);
    bed.runClock(false);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
