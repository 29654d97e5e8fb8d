// libFuzzer target for record files: any bytes read as a record file (header checks, version
// 1 and 3, short files) and, when accepted, loaded into a stream and shown whole, as the open
// command does.
#include "grecorddatapro.h"
#include "recordfile.h"

#include <QtGlobal>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void Silence(QtMsgType, const QMessageLogContext &, const QString &) {}

// One memory file for every input: the reader goes through its ordinary path by name.
const std::string &MemoryFile()
{
    static const std::string path = [] {
        const int fd = memfd_create("record", 0);
        return fd < 0 ? std::string() : "/proc/self/fd/" + std::to_string(fd);
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = (qInstallMessageHandler(Silence), true);
    (void)quiet;
    const std::string &path = MemoryFile();
    if (path.empty())
        return 0;
    const int fd = std::stoi(path.substr(path.rfind('/') + 1));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != ssize_t(size))
        return 0;

    _SRecordData header;
    const int probed = RecordDataReadHeader(&header, path.c_str());
    static GRecordDataPro stream; // series of full size: made once
    const bool loaded = stream.LoadRecordFile(QString::fromStdString(path), header.m_Channel & 1);
    if (loaded != (probed > 0))
        __builtin_trap(); // the probe and the read must agree
    if (loaded) {
        stream.UpdateTimeOffset();
        RealDataShowAll(stream.m_pRealData);
    }
    return 0;
}
