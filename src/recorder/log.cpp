#include "log.h"

#include <QByteArray>
#include <cstdio>

void Log(LogLevel level, const QString &line)
{
    static const bool journal = !qEnvironmentVariableIsEmpty("JOURNAL_STREAM");
    QByteArray out = line.toUtf8();
    if (journal)
        out.prepend("<" + QByteArray::number(int(level)) + ">");
    out += '\n';
    std::fwrite(out.constData(), 1, size_t(out.size()), stderr);
    std::fflush(stderr);
}
