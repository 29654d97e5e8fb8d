#include "safesave.h"

#include <QFileInfo>

SafeSave::SafeSave(const QString &path) : m_Path(path), m_File(path)
{
    m_Ok = m_File.open(QIODevice::WriteOnly) || Fail(m_File.errorString());
}

bool SafeSave::Fail(const QString &why)
{
    if (m_Error.isEmpty())
        m_Error = why;
    m_Ok = false;
    return false;
}

bool SafeSave::Write(const char *data, qint64 size)
{
    if (m_Ok && size > 0) {
        if (m_File.write(data, size) != size)
            return Fail(m_File.errorString());
        m_Written += size;
    }
    return m_Ok;
}

bool SafeSave::Commit()
{
    if (m_Ok && !m_File.flush())
        Fail(m_File.errorString());
    if (m_Ok && m_File.size() != m_Written)
        Fail(QStringLiteral("%1 of %2 bytes written").arg(m_File.size()).arg(m_Written));
    if (!m_Ok) {
        m_File.cancelWriting();
        m_File.commit(); // discards the new file; the old one stays
        return false;
    }
    if (!m_File.commit())
        return Fail(m_File.errorString());
    if (QFileInfo(m_Path).size() != m_Written)
        return Fail(QStringLiteral("the file on disk is not what was written"));
    return true;
}
