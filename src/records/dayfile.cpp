#include "dayfile.h"

#include "recordfile.h"

#include <QFile>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool Fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// pwrite until all is written; false with errno set otherwise.
bool WriteAt(int fd, const char *data, size_t size, off_t at)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        size -= size_t(n);
        at += n;
    }
    return true;
}

bool Sync(int fd)
{
    int r;
    do
        r = ::fdatasync(fd);
    while (r < 0 && errno == EINTR);
    return r == 0;
}

off_t RecordOffset(int index)
{
    return off_t(RECORD_FILE_HEADER) + off_t(index) * off_t(sizeof(_SRecordItem));
}

} // namespace

DayFile::~DayFile()
{
    Close();
}

void DayFile::Close()
{
    if (m_Fd >= 0)
        ::close(m_Fd);
    m_Fd = -1;
    m_bOpen = false;
    m_Pending.clear();
    m_Written = 0;
}

bool DayFile::Open(const QString &path, int channel, uint32_t start, int unit, QString *error)
{
    Close();
    m_Path = path;
    m_Channel = channel;
    m_Unit = unit > 0 ? unit : 1;
    m_Start = start;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0 || st.st_size == 0) {
        m_bOpen = true; // made by the first flush, so that no file is ever without records
        return true;
    }
    m_Fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (m_Fd < 0)
        return Fail(error, SystemError());
    if (Continue(error))
        return m_bOpen = true;
    // Not ours to overwrite: kept aside for a person to look at.
    ::close(m_Fd);
    m_Fd = -1;
    const QString aside = path + QStringLiteral(".damaged");
    QFile::remove(aside);
    if (!QFile::rename(path, aside))
        return Fail(error, QStringLiteral("a file that is no record file of this channel is in "
                                          "the way and cannot be set aside"));
    return m_bOpen = true;
}

bool DayFile::Continue(QString *error)
{
    char head[RECORD_FILE_HEADER];
    if (::pread(m_Fd, head, sizeof head, 0) != ssize_t(sizeof head))
        return false;
    const int32_t count = qFromLittleEndian<int32_t>(head + 12);
    if (std::memcmp(head, "TRAC", 4) != 0
        || qFromLittleEndian<int32_t>(head + 4) != RECORD_DATA_VERSION
        || qFromLittleEndian<int32_t>(head + 8) != count || count < 0
        || count > RECORD_DATA_CAPACITY || qFromLittleEndian<int32_t>(head + 20) != m_Channel
        || qFromLittleEndian<int32_t>(head + 24) != m_Unit)
        return false;
    struct stat st {};
    if (::fstat(m_Fd, &st) != 0 || st.st_size < RecordOffset(count))
        return false;
    // Records appended by a flush that never counted them: cut off, the header rules.
    if (::ftruncate(m_Fd, RecordOffset(count)) != 0)
        return Fail(error, SystemError());
    m_Start = qFromLittleEndian<uint32_t>(head + 16);
    m_Written = count;
    return true;
}

bool DayFile::WriteHeader(int count, QString *error)
{
    char head[RECORD_FILE_HEADER];
    std::memcpy(head, "TRAC", 4);
    qToLittleEndian<int32_t>(RECORD_DATA_VERSION, head + 4);
    qToLittleEndian<int32_t>(count, head + 8);
    qToLittleEndian<int32_t>(count, head + 12);
    qToLittleEndian<uint32_t>(m_Start, head + 16);
    qToLittleEndian<int32_t>(m_Channel, head + 20);
    qToLittleEndian<int32_t>(m_Unit, head + 24);
    if (!WriteAt(m_Fd, head, sizeof head, 0))
        return Fail(error, SystemError());
    return true;
}

int64_t DayFile::EndTime() const
{
    return int64_t(m_Start) + int64_t(Count()) * m_Unit;
}

bool DayFile::Add(uint32_t t, const _SRecordItem &record)
{
    if (!m_bOpen || t < m_Start)
        return false;
    const int64_t index = (int64_t(t) - m_Start) / m_Unit;
    if (index < Count() || index >= RECORD_DATA_CAPACITY)
        return false;
    m_Pending.insert(m_Pending.end(), size_t(index - Count()), RECORD_GAP_ITEM);
    m_Pending.push_back(record);
    return true;
}

bool DayFile::Flush(QString *error)
{
    if (!m_bOpen)
        return Fail(error, QStringLiteral("not open"));
    if (m_Pending.empty())
        return true;
    if (m_Fd < 0) { // a new file: its header counts nothing until the records are down
        m_Fd = ::open(QFile::encodeName(m_Path).constData(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC,
                      0644);
        if (m_Fd < 0 || !WriteHeader(0, error))
            return Fail(error, SystemError());
    }
    std::vector<char> bytes(m_Pending.size() * sizeof(_SRecordItem));
    for (size_t i = 0; i < m_Pending.size(); ++i) {
        char *r = bytes.data() + 8 * i;
        qToLittleEndian<uint16_t>(m_Pending[i].m_Diff, r);
        qToLittleEndian<uint16_t>(m_Pending[i].m_Base, r + 2);
        qToLittleEndian<uint16_t>(m_Pending[i].m_PM25, r + 4);
        qToLittleEndian<uint16_t>(m_Pending[i].m_PM10, r + 6);
    }
    // The records are on disk before the header counts them.
    if (!WriteAt(m_Fd, bytes.data(), bytes.size(), RecordOffset(m_Written)) || !Sync(m_Fd))
        return Fail(error, SystemError());
    const int count = Count();
    if (!WriteHeader(count, error) || !Sync(m_Fd))
        return Fail(error, SystemError());
    m_Written = count;
    m_Pending.clear();
    return true;
}
