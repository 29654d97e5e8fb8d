#include "xlsxfile.h"

#include "civiltime.h"
#include "safesave.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryFile>
#include <xlsxwriter.h>

#include <algorithm>

namespace {

constexpr lxw_row_t HEAD_ROWS = 4;          // model, identity, source, column heads
constexpr lxw_row_t SHEET_ROWS = 1048576;   // the most rows a sheet holds
constexpr qint64 COPY_CHUNK = 1 << 20;

const char *const VALUE_HEADS[] = {"PM2.5 (µg/m³)", "PM10 (µg/m³)", "HCHO (mg/m³)",
                                   "TVOC (mg/m³)"};

class Workbook
{
public:
    Workbook(const QString &file, const CsvLayout &layout, const XlsxHead &head)
        : m_Layout(layout), m_Head(head)
    {
        m_TmpDir = QDir::tempPath().toLocal8Bit();
        lxw_workbook_options options = {};
        options.constant_memory = LXW_TRUE;
        options.tmpdir = m_TmpDir.data();
        options.use_zip64 = LXW_TRUE;
        m_Book = workbook_new_opt(QFile::encodeName(file).constData(), &options);
        if (!m_Book)
            return;
        m_Bold = workbook_add_format(m_Book);
        format_set_bold(m_Bold);
        m_TimeFormat = workbook_add_format(m_Book);
        format_set_num_format(m_TimeFormat, "yyyy-mm-dd hh:mm:ss");
        m_ValueFormat = workbook_add_format(m_Book);
        format_set_num_format(m_ValueFormat, layout.m_Channel != 0 ? "0.000" : "0.0");
    }
    ~Workbook()
    {
        if (m_Book)
            workbook_close(m_Book);
    }
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    bool Opened() const { return m_Book != nullptr; }
    bool Failed() const { return m_Error != LXW_NO_ERROR; }

    // One row: its local wall time and its values (one or two raw words).
    void AddRow(const CivilTime &c, const uint16_t *words, int count)
    {
        if (!m_Sheet || c.m_Day != m_Day || m_Row >= SHEET_ROWS)
            StartSheet(c);
        if (!m_Sheet)
            return;
        lxw_datetime dt = {int(c.m_Year), c.m_Month, c.m_MonthDay, c.m_Hour, c.m_Minute,
                           double(c.m_Second)};
        Check(worksheet_write_datetime(m_Sheet, m_Row, 0, &dt, m_TimeFormat));
        const double scale = m_Layout.m_Channel != 0 ? 1000.0 : 10.0;
        for (int i = 0; i < count; ++i)
            Check(worksheet_write_number(m_Sheet, m_Row, lxw_col_t(1 + i), words[i] / scale,
                                         m_ValueFormat));
        ++m_Row;
    }

    // Closes the file; a book without rows still gets its head on a sheet of `c`'s day.
    lxw_error Close(const CivilTime &c)
    {
        if (!m_Sheet)
            StartSheet(c);
        const lxw_error closed = workbook_close(m_Book);
        m_Book = nullptr;
        return Failed() ? m_Error : closed;
    }

private:
    void Check(lxw_error e)
    {
        if (e != LXW_NO_ERROR && !Failed())
            m_Error = e;
    }

    int HeadIndex() const
    {
        return m_Layout.m_Channel != 0 ? (m_Layout.m_bTVOC ? 3 : 2) : 0;
    }

    void StartSheet(const CivilTime &c)
    {
        // A day that comes again (stamps that do not rise) or overflows gets a numbered sheet.
        const QString date = QString::asprintf("%04lld-%02d-%02d", static_cast<long long>(c.m_Year),
                                               c.m_Month, c.m_MonthDay);
        const int seen = m_Names[date]++;
        const QString name = seen ? QStringLiteral("%1 (%2)").arg(date).arg(seen + 1) : date;
        m_Sheet = workbook_add_worksheet(m_Book, name.toUtf8().constData());
        m_Day = c.m_Day;
        m_Row = HEAD_ROWS;
        if (!m_Sheet) {
            Check(LXW_ERROR_WORKSHEET_INDEX_OUT_OF_RANGE);
            return;
        }
        WriteHead();
    }

    void WriteHead()
    {
        const QString labels[] = {QStringLiteral("Sensor model"), QStringLiteral("Identity"),
                                  QStringLiteral("Source")};
        const QString values[] = {m_Head.m_Model, m_Head.m_Identity, m_Head.m_Source};
        for (lxw_row_t r = 0; r < 3; ++r) {
            Check(worksheet_write_string(m_Sheet, r, 0, labels[r].toUtf8().constData(), m_Bold));
            Check(worksheet_write_string(m_Sheet, r, 1, values[r].toUtf8().constData(), nullptr));
        }
        const lxw_row_t heads = HEAD_ROWS - 1;
        Check(worksheet_write_string(m_Sheet, heads, 0, "Time", m_Bold));
        Check(worksheet_write_string(m_Sheet, heads, 1, VALUE_HEADS[HeadIndex()], m_Bold));
        if (m_Layout.m_Channel == 0 && m_Layout.m_ValueCount == 2)
            Check(worksheet_write_string(m_Sheet, heads, 2, VALUE_HEADS[1], m_Bold));
        Check(worksheet_set_column(m_Sheet, 0, 0, 20, nullptr));
        Check(worksheet_set_column(m_Sheet, 1, 2, 14, nullptr));
        worksheet_freeze_panes(m_Sheet, HEAD_ROWS, 0);
    }

    CsvLayout m_Layout;
    XlsxHead m_Head;
    QByteArray m_TmpDir;
    lxw_workbook *m_Book = nullptr;
    lxw_format *m_Bold = nullptr;
    lxw_format *m_TimeFormat = nullptr;
    lxw_format *m_ValueFormat = nullptr;
    lxw_worksheet *m_Sheet = nullptr;
    int64_t m_Day = 0;
    lxw_row_t m_Row = 0;
    QHash<QString, int> m_Names;
    lxw_error m_Error = LXW_NO_ERROR;
};

// The finished book goes through SafeSave, so that a full disk never leaves half a file.
bool CopyInto(QFile *from, const QString &path, QString *error)
{
    SafeSave out(path);
    QByteArray chunk;
    while (!from->atEnd()) {
        chunk = from->read(COPY_CHUNK);
        if (chunk.isEmpty() && from->error() != QFileDevice::NoError) {
            *error = from->errorString();
            return false;
        }
        if (!out.Write(chunk))
            break;
    }
    if (out.Commit())
        return true;
    *error = out.ErrorString();
    return false;
}

} // namespace

bool RecordsToXlsx(const QString &path, const _SRecordData &image, uint32_t start, int unit,
                   const QVector<uint32_t> *stamps, const CsvLayout &layout, const XlsxHead &head,
                   QString *error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    // Written beside its place first: the library writes a file by name.
    QTemporaryFile part(QFileInfo(path).absoluteFilePath() + QStringLiteral(".XXXXXX"));
    if (!part.open()) {
        *error = part.errorString();
        return false;
    }
    lxw_error result = LXW_NO_ERROR;
    {
        Workbook book(part.fileName(), layout, head);
        if (!book.Opened()) {
            *error = QString::fromUtf8(lxw_strerror(LXW_ERROR_CREATING_XLSX_FILE));
            return false;
        }
        const int n = image.m_pItems ? std::clamp(int(image.m_Count), 0, int(image.m_MaxCount)) : 0;
        const bool stamped = stamps && stamps->size() >= n;
        const int values = layout.m_Channel == 0 && layout.m_ValueCount == 2 ? 2 : 1;
        LocalOffset offset;
        for (int i = 0; i < n && !book.Failed(); ++i) {
            const _SRecordItem &r = image.m_pItems[i];
            if (RecordIsGap(r))
                continue; // a pause has no rows
            const int64_t t = stamped ? int64_t((*stamps)[i]) : int64_t(start) + int64_t(i) * unit;
            const uint16_t words[2] = {r.m_PM25, r.m_PM10};
            book.AddRow(CivilAt(t + offset.At(t)), words, values);
        }
        result = book.Close(CivilAt(int64_t(start) + offset.At(start)));
    }
    if (result != LXW_NO_ERROR) {
        *error = QString::fromUtf8(lxw_strerror(result));
        return false;
    }
    part.close(); // read again what the library wrote under the name
    if (!part.open()) {
        *error = part.errorString();
        return false;
    }
    return CopyInto(&part, path, error);
}
