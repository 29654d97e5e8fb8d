// Writes the seed corpora of the record-file, text-import and CSV targets with the program's
// own writers: make_seeds <recordfile dir> <textimport dir> <csv dir>.
#include "csvfile.h"
#include "grecorddatapro.h"
#include "recordfile.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace {

void Record(const QString &dir, const char *name, int count, int secUnit, int channel)
{
    _SRecordData image;
    for (int i = 0; i < count; ++i)
        RecordDataAdd(&image, uint16_t(i), 0, uint16_t(100 + i * 7), uint16_t(200 + i), -1);
    image.m_StartTime = 1456812309;
    image.m_SecUnit = secUnit;
    RecordDataWrite(&image, QDir(dir).filePath(name).toLocal8Bit(), channel);
    RecordDataFree(&image);
}

void Text(const QString &dir, const char *name, const QByteArray &text)
{
    QFile f(QDir(dir).filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(text);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_seeds <recordfile dir> <textimport dir> <csv dir>\n");
        return 2;
    }
    const QString records = QString::fromLocal8Bit(argv[1]);
    Record(records, "two.str", 2, 1, 0);
    Record(records, "thinned.str", 9, 2, 0);
    Record(records, "channel1.str", 5, 1, 1);
    // Version 1: no channel word.
    QFile v1(QDir(records).filePath("version1.str"));
    if (v1.open(QIODevice::WriteOnly))
        v1.write(QByteArray("TRAC\1\0\0\0\2\0\0\0\2\0\0\0\x15\x31\xd5\x56\1\0\0\0"
                            "\0\0\0\0\x7b\0\xc9\0\0\0\0\0\x7d\0\xca\0",
                            40));

    const QString texts = QString::fromLocal8Bit(argv[2]);
    const QByteArray head = "Date:2016.03.01-14:05:09\r\nData Count:3\r\n\r\nnumber\ttime\tPM25\tPM10\r\n";
    Text(texts, "example.xls", head + "1 14:05:09 12.3 20.1\r\n2 14:05:10 12.5 20.2\r\n"
                                      "3 14:05:11 35 48\r\n");
    Text(texts, "gaps.xls", head + "1 23:58:00 20.4\n2 00:03:00 1 2\n5 0:0:0 5\n3 x 3 3\n");
    Text(texts, "values.xls", head + "1 1:2:3 -1 inf\n2 1:2:4 6553.5 1e999\n3 1:2:5 0.05 +7\n");
    // An export, which the import refuses.
    GRecordDataPro live;
    RealDataAdd(live.m_pRealData, 12.3, 20.1, 1, 0);
    live.m_StartTime = QDateTime::fromSecsSinceEpoch(1456812309);
    live.m_ValueCount = 2;
    live.SaveTextFile(QDir(texts).filePath("export.xls"), 0, {});

    // CSVs as Save to CSV writes them: PM2.5 and PM10 with a pause, one value, TVOC.
    const QString csvs = QString::fromLocal8Bit(argv[3]);
    _SRecordData image;
    for (int i = 0; i < 8; ++i)
        RecordDataAdd(&image, i == 4 ? RECORD_GAP_WORD : 0, i == 4 ? RECORD_GAP_WORD : 0,
                      uint16_t(123 + i * 9), uint16_t(201 + i), -1);
    Text(csvs, "pm10.csv", RecordsToCsv(image, 1456812309, 1, nullptr, CsvLayout{0, 2, false}));
    Text(csvs, "pm25.csv", RecordsToCsv(image, 1456812309, 60, nullptr, CsvLayout{0, 1, false}));
    Text(csvs, "tvoc.csv", RecordsToCsv(image, 1456812309, 300, nullptr, CsvLayout{1, 1, true}));
    RecordDataFree(&image);
    return 0;
}
