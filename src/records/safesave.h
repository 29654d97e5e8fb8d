#pragma once
// A file replaced whole or not at all. QSaveFile alone is not enough: its commit() ignores a
// failed final flush of its buffer, so on a full disk a file under 16 KB became a 0-byte file
// reported as written.
#include <QSaveFile>
#include <QString>

class SafeSave
{
public:
    explicit SafeSave(const QString &path);
    SafeSave(const SafeSave &) = delete;
    SafeSave &operator=(const SafeSave &) = delete;

    // False once any write failed; later writes are dropped.
    bool Write(const char *data, qint64 size);
    bool Write(const QByteArray &data) { return Write(data.constData(), data.size()); }
    // Flushes, checks what the new file holds, then replaces the old one; false (and the old
    // file as it was) when anything failed, or when the file on disk is not what was written.
    bool Commit();
    // Why the last write or the commit failed, in the system's words.
    QString ErrorString() const { return m_Error; }

private:
    bool Fail(const QString &why);

    QString m_Path;
    QSaveFile m_File;
    qint64 m_Written = 0;
    bool m_Ok = false;
    QString m_Error;
};
