#include "safesave.h"

#include <QFileInfo>

SafeSave::SafeSave(const QString &path) : m_Path(path), m_File(path)
{
    m_Ok = m_File.open(QIODevice::WriteOnly);
}

bool SafeSave::Write(const char *data, qint64 size)
{
    if (m_Ok && size > 0) {
        m_Ok = m_File.write(data, size) == size;
        m_Written += size;
    }
    return m_Ok;
}

bool SafeSave::Commit()
{
    if (!m_Ok || !m_File.flush() || m_File.size() != m_Written) {
        m_File.cancelWriting();
        m_File.commit(); // discards the new file; the old one stays
        m_Ok = false;
        return false;
    }
    m_Ok = m_File.commit() && QFileInfo(m_Path).size() == m_Written;
    return m_Ok;
}
