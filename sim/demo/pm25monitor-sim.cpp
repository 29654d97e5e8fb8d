// The demo: a simulated sensor on a umockdev bed, and the unchanged monitor
// started under the umockdev preload so that it finds the sensor over USB or
// through the USB-serial bridge.
#include "simbed.h"

#include <cerrno>
#include <csignal>
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

// A program beside this launcher (installed, or in the build's bin/), else the one on PATH.
std::string DefaultProgram(const char *name = "pm25monitor")
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, size_t(n));
        dir.erase(dir.rfind('/') + 1);
        const std::string sibling = dir + name;
        if (access(sibling.c_str(), X_OK) == 0)
            return sibling;
    }
    return name;
}

pid_t g_Child = 0;

// Ctrl+C or a stop reaches the program, which ends in its own time (the recorder writes its
// last samples); the bed lives until it has.
void Forward(int sig)
{
    if (g_Child > 0)
        kill(g_Child, sig);
}

struct Options {
    bool serial = false;
    bool both = false;                // a sensor on USB and another behind the serial bridge
    bool recorder = false;            // the recorder instead of the window
    std::vector<std::string> passed;  // the recorder's own options
    int type = 20; // a two-channel model
    std::vector<uint8_t> kinds;
    int history = 288;
    uint32_t seed = 1;
    std::string program = DefaultProgram();
};

void Usage(const char *self)
{
    std::fprintf(stderr,
                 "usage: %s [--link usb|serial|both] [--type N] [--kinds 1,17] [--history N]\n"
                 "          [--seed N] [--program PATH] [--recorder [recorder options]]\n"
                 "Starts the monitor with a simulated sensor (default: USB, type 20,\n"
                 "measurement kinds 1 and 17, 288 stored history values); --link both\n"
                 "presents a second sensor behind the serial bridge. --recorder runs\n"
                 "pm25monitor-recorder instead, with the options that follow it.\n",
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
        if (arg == "--recorder") { // the rest is the recorder's
            o->recorder = true;
            if (o->program == DefaultProgram())
                o->program = DefaultProgram("pm25monitor-recorder");
            o->passed.assign(argv + i + 1, argv + argc);
            break;
        }
        if (!value)
            return false;
        ++i;
        if (arg == "--link" && (std::strcmp(value, "usb") == 0 || std::strcmp(value, "serial") == 0
                                || std::strcmp(value, "both") == 0)) {
            o->serial = std::strcmp(value, "serial") == 0;
            o->both = std::strcmp(value, "both") == 0;
        }
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
    std::vector<int> ids;
    if (!opt.serial)
        ids.push_back(bed.addUsbSensor());
    if (opt.serial || opt.both)
        ids.push_back(bed.addSerialSensor());
    for (size_t k = 0; k < ids.size(); ++k) {
        bed.with(ids[k], [&](sim::SimSensor &s) {
            s.setDeviceType(uint8_t(opt.type));
            s.setKinds(opt.kinds);
            s.reseed(opt.seed + uint32_t(k));
            s.generateHistory(size_t(opt.history), int64_t(std::time(nullptr)) / 60 * 60);
            // Two sensors, two names.
            s.setSerial6({0x01, 0x02, 0x0A, 0x0B, 0x10, uint8_t(0xFF - k)});
        });
    }
    bed.runClock(true);
    std::fprintf(stderr, "[pm25monitor-sim] sensor type %d on %s; starting %s\n", opt.type,
                 opt.both ? "USB and the serial bridge" : opt.serial ? "the serial bridge" : "USB",
                 opt.program.c_str());

    std::vector<char *> args{const_cast<char *>(opt.program.c_str())};
    for (std::string &a : opt.passed)
        args.push_back(a.data());
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        setenv("LD_PRELOAD", UMOCKDEV_PRELOAD_PATH, 1);
        execvp(opt.program.c_str(), args.data());
        std::perror("exec");
        _exit(127);
    }
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    g_Child = child;
    struct sigaction forward {};
    forward.sa_handler = Forward;
    sigemptyset(&forward.sa_mask);
    sigaction(SIGTERM, &forward, nullptr);
    sigaction(SIGINT, &forward, nullptr);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    bed.runClock(false);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
