#pragma once
// What LibreOffice Calc reads in a spreadsheet: the file converted to flat ODF under a locale,
// each sheet's rows of cells as Calc holds them (numbers as office:value, date-times as
// office:date-value, text as its text). Missing LibreOffice: empty, and `skip` says why.
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>

using CalcSheet = QList<QStringList>;

inline QString CalcCell(QXmlStreamReader &xml)
{
    const QXmlStreamAttributes a = xml.attributes();
    const QString type = a.value("office:value-type").toString();
    QString text;
    if (type == "float")
        text = a.value("office:value").toString();
    else if (type == "date")
        text = a.value("office:date-value").toString();
    int depth = 1;
    QString shown;
    while (depth > 0 && !xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            ++depth;
        else if (xml.isEndElement())
            --depth;
        else if (xml.isCharacters())
            shown += xml.text();
    }
    return type.isEmpty() || type == "string" ? shown.trimmed() : text; // fods is indented
}

inline QMap<QString, CalcSheet> CalcSheets(const QString &file, const QString &locale,
                                           QString *skip)
{
    const QString office = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (office.isEmpty()) {
        *skip = QStringLiteral("LibreOffice is not installed (package libreoffice-calc-nogui)");
        return {};
    }
    QTemporaryDir dir;
    QProcess calc;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), locale);
    calc.setProcessEnvironment(env);
    calc.start(office, {"--headless", "-env:UserInstallation=file://" + dir.filePath("profile"),
                        "--convert-to", "fods", "--outdir", dir.path(), file});
    if (!calc.waitForFinished(120000) || calc.exitCode() != 0)
        return {};
    QFile fods(dir.filePath(QFileInfo(file).completeBaseName() + ".fods"));
    if (!fods.open(QIODevice::ReadOnly))
        return {};
    QMap<QString, CalcSheet> sheets;
    QXmlStreamReader xml(&fods);
    CalcSheet *sheet = nullptr;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.qualifiedName() == QLatin1String("table:table")) {
            sheet = &sheets[xml.attributes().value("table:name").toString()];
        } else if (sheet && xml.qualifiedName() == QLatin1String("table:table-row")) {
            sheet->append(QStringList());
        } else if (sheet && !sheet->isEmpty()
                   && xml.qualifiedName() == QLatin1String("table:table-cell")) {
            const int repeat =
                std::max(1, xml.attributes().value("table:number-columns-repeated").toInt());
            const QString cell = CalcCell(xml);
            for (int i = 0; i < repeat && i < 16; ++i)
                sheet->last() << cell;
        }
    }
    for (CalcSheet &rows : sheets) { // Calc pads rows and sheets with empty cells
        for (QStringList &row : rows)
            while (!row.isEmpty() && row.last().isEmpty())
                row.removeLast();
        while (!rows.isEmpty() && rows.last().isEmpty())
            rows.removeLast();
    }
    return sheets;
}
