#include "core/xls/WorkbookStreamReader.h"

#include "core/xls/BiffRecords.h"
#include "core/xls/CellText.h"
#include "core/xls/RecordDataReader.h"
#include "core/xls/RecordReader.h"

#include <QtEndian>
#include <cstring>
#include <vector>

namespace Xls {

namespace {

struct SheetEntry {
    QString name;
    quint32 offset = 0;
    quint8 type = 0;
};

struct Globals {
    QList<SheetEntry> sheets;
    QList<QString> strings;
};

struct Cell {
    quint16 row;
    quint16 column;
    QString text;
};

// A padded sheet may hold this many cells, or four per cell actually written if that is more: a
// damaged or hostile file with one cell far down and to the right must not cost gigabytes.
constexpr qint64 MinCellBudget = qint64(1) << 22;

QString damaged(const QString &what) {
    return QStringLiteral("The workbook is damaged: %1.").arg(what);
}

quint16 u16At(QByteArrayView data, qsizetype at) {
    return qFromLittleEndian<quint16>(data.data() + at);
}

quint32 u32At(QByteArrayView data, qsizetype at) {
    return qFromLittleEndian<quint32>(data.data() + at);
}

double f64At(QByteArrayView data, qsizetype at) {
    const quint64 bits = qFromLittleEndian<quint64>(data.data() + at);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The record's data and the CONTINUE records right behind it.
RecordDataReader withContinuations(RecordReader &reader, QByteArrayView data) {
    RecordDataReader result(data);
    Record next;
    QString ignored;
    while (reader.peekType() == Biff::Continue && reader.next(&next, &ignored))
        result.addContinuation(next.data);
    return result;
}

bool readSharedStrings(RecordDataReader &data, QList<QString> *strings, QString *error) {
    quint32 total = 0;
    quint32 unique = 0;
    if (!data.u32(&total) || !data.u32(&unique)) {
        *error = damaged(QStringLiteral("its shared string table is cut short"));
        return false;
    }
    strings->reserve(qMin<quint32>(unique, 1u << 16));
    for (quint32 i = 0; i < unique; ++i) {
        data.skipFinishedPart();
        if (data.atEnd())
            break; // fewer strings than announced; a cell using a missing one is caught later
        QString text;
        if (!data.string16(&text)) {
            *error = damaged(QStringLiteral("string %1 of its shared string table is cut short").arg(i + 1));
            return false;
        }
        strings->append(std::move(text));
    }
    return true;
}

bool readGlobals(RecordReader &reader, Globals *globals, QString *error) {
    Record record;
    if (!reader.next(&record, error))
        return false;
    if (record.type != Biff::Bof || record.data.size() < 4) {
        *error =
            QStringLiteral("The file is not an Excel workbook: its workbook stream does not begin with a "
                           "BOF record.");
        return false;
    }
    const quint16 version = u16At(record.data, 0);
    if (version == Biff::VersionBiff5) {
        *error = QStringLiteral("The workbook is in the Excel 5.0/95 format (BIFF5); only Excel 97-2003 "
                                "workbooks (BIFF8) can be read.");
        return false;
    }
    if (version != Biff::VersionBiff8) {
        *error =
            QStringLiteral("The workbook has the unknown BIFF version 0x%1; only Excel 97-2003 workbooks "
                           "(BIFF8) can be read.")
                .arg(version, 4, 16, QLatin1Char('0'));
        return false;
    }
    if (u16At(record.data, 2) != Biff::SubstreamGlobals) {
        *error = damaged(QStringLiteral("its stream does not begin with the workbook globals"));
        return false;
    }

    for (;;) {
        if (!reader.next(&record, error))
            return false;
        switch (record.type) {
        case Biff::Eof:
            return true;
        case Biff::FilePass:
            *error = QStringLiteral("The workbook is protected with a password and cannot be read.");
            return false;
        case Biff::BoundSheet: {
            SheetEntry sheet;
            RecordDataReader data(record.data.size() >= 6 ? record.data.sliced(6) : QByteArrayView());
            if (record.data.size() < 6 || !data.string8(&sheet.name)) {
                *error =
                    damaged(QStringLiteral("the sheet entry at byte %1 is cut short").arg(record.offset));
                return false;
            }
            sheet.offset = u32At(record.data, 0);
            sheet.type = quint8(record.data[5]);
            globals->sheets.append(sheet);
            break;
        }
        case Biff::Sst: {
            RecordDataReader data = withContinuations(reader, record.data);
            if (!readSharedStrings(data, &globals->strings, error))
                return false;
            break;
        }
        default:
            break;
        }
    }
}

// Collects the sheet's non-empty cells in the order they are stored.
class CellCollector {
public:
    explicit CellCollector(const QList<QString> &strings) : m_strings(strings) {}

    bool read(RecordReader &reader, QString *error);
    std::vector<Cell> &cells() { return m_cells; }

private:
    bool readCell(RecordReader &reader, const Record &record, QString *error);
    void put(quint16 row, quint16 column, QString text);

    const QList<QString> &m_strings;
    std::vector<Cell> m_cells;
    bool m_formulaStringPending = false;
    quint16 m_formulaRow = 0;
    quint16 m_formulaColumn = 0;
};

void CellCollector::put(quint16 row, quint16 column, QString text) {
    if (!text.isEmpty())
        m_cells.push_back({row, column, std::move(text)});
}

bool CellCollector::read(RecordReader &reader, QString *error) {
    int depth = 1; // embedded charts bring their own BOF ... EOF, whose records are not cells
    Record record;
    while (depth > 0) {
        if (!reader.next(&record, error))
            return false;
        if (record.type == Biff::Bof) {
            ++depth;
        } else if (record.type == Biff::Eof) {
            --depth;
        } else if (depth == 1 && !readCell(reader, record, error)) {
            return false;
        }
    }
    return true;
}

bool CellCollector::readCell(RecordReader &reader, const Record &record, QString *error) {
    const QByteArrayView data = record.data;
    // Bytes each cell record needs before its fields can be read.
    qsizetype needed = 0;
    switch (record.type) {
    case Biff::LabelSst:
    case Biff::Rk:
        needed = 10;
        break;
    case Biff::Number:
        needed = 14;
        break;
    case Biff::Formula:
        needed = 20;
        break;
    case Biff::BoolErr:
    case Biff::Label:
    case Biff::RString:
        needed = 8;
        break;
    case Biff::MulRk:
        needed = 6;
        break;
    case Biff::String:
        if (!m_formulaStringPending)
            return true;
        break;
    default:
        return true; // not a cell holding a value
    }
    if (data.size() < needed) {
        *error = damaged(QStringLiteral("the cell record at byte %1 is cut short").arg(record.offset));
        return false;
    }
    if (record.type == Biff::String) {
        m_formulaStringPending = false;
        QString text;
        RecordDataReader string = withContinuations(reader, data);
        if (!string.string16(&text)) {
            *error = damaged(QStringLiteral("the formula result at byte %1 is cut short").arg(record.offset));
            return false;
        }
        put(m_formulaRow, m_formulaColumn, std::move(text));
        return true;
    }

    m_formulaStringPending = false;
    const quint16 row = u16At(data, 0);
    const quint16 column = u16At(data, 2);
    switch (record.type) {
    case Biff::LabelSst: {
        const quint32 index = u32At(data, 6);
        if (index >= quint32(m_strings.size())) {
            *error = damaged(QStringLiteral("a cell uses shared string %1 of only %2")
                                 .arg(qint64(index) + 1)
                                 .arg(m_strings.size()));
            return false;
        }
        put(row, column, m_strings.at(index));
        break;
    }
    case Biff::Label:
    case Biff::RString: {
        QString text;
        RecordDataReader string = withContinuations(reader, data.sliced(6));
        if (!string.string16(&text)) {
            *error = damaged(QStringLiteral("the text cell at byte %1 is cut short").arg(record.offset));
            return false;
        }
        put(row, column, std::move(text));
        break;
    }
    case Biff::Number:
        put(row, column, CellText::fromNumber(f64At(data, 6)));
        break;
    case Biff::Rk:
        put(row, column, CellText::fromNumber(CellText::fromRk(u32At(data, 6))));
        break;
    case Biff::MulRk: {
        // Six bytes per cell between the first column and the closing last-column field.
        const qsizetype count = (data.size() - 6) / 6;
        for (qsizetype i = 0; i < count && column + i <= 0xFFFF; ++i)
            put(row, quint16(column + i), CellText::fromNumber(CellText::fromRk(u32At(data, 4 + 6 * i + 2))));
        break;
    }
    case Biff::BoolErr:
        put(row, column,
            data[7] ? CellText::fromErrorCode(quint8(data[6])) : CellText::fromBoolean(quint8(data[6])));
        break;
    case Biff::Formula:
        if (u16At(data, 12) != 0xFFFF) {
            put(row, column, CellText::fromNumber(f64At(data, 6)));
        } else if (data[6] == 0) {
            // A text result follows in a STRING record.
            m_formulaStringPending = true;
            m_formulaRow = row;
            m_formulaColumn = column;
        } else if (data[6] == 1) {
            put(row, column, CellText::fromBoolean(quint8(data[8])));
        } else if (data[6] == 2) {
            put(row, column, CellText::fromErrorCode(quint8(data[8])));
        }
        break;
    default:
        break;
    }
    return true;
}

bool buildRows(std::vector<Cell> &cells, Rows *rows, QString *error) {
    if (cells.empty()) {
        rows->clear();
        return true;
    }
    qint64 height = 0;
    qint64 width = 0;
    for (const Cell &cell : cells) {
        height = qMax<qint64>(height, cell.row + 1);
        width = qMax<qint64>(width, cell.column + 1);
    }
    if (height * width > qMax<qint64>(MinCellBudget, 4 * qint64(cells.size()))) {
        *error = QStringLiteral("The sheet is too sparse to read: %1 rows by %2 columns for %3 cells.")
                     .arg(height)
                     .arg(width)
                     .arg(cells.size());
        return false;
    }
    Rows result(height, QStringList(width));
    for (Cell &cell : cells)
        result[cell.row][cell.column] = std::move(cell.text);
    *rows = std::move(result);
    return true;
}

} // namespace

bool readWorksheetFromStream(QByteArrayView stream, const QString &sheetName, Rows *rows, QString *error) {
    RecordReader reader(stream);
    Globals globals;
    if (!readGlobals(reader, &globals, error))
        return false;

    const SheetEntry *sheet = nullptr;
    QStringList names;
    for (const SheetEntry &entry : std::as_const(globals.sheets)) {
        if (entry.type != Biff::SheetTypeWorksheet)
            continue;
        names.append(entry.name);
        if (!sheet && entry.name == sheetName)
            sheet = &entry;
    }
    if (!sheet) {
        *error = QStringLiteral("The workbook has no sheet named “%1”").arg(sheetName);
        *error += names.isEmpty()
                      ? QStringLiteral(".")
                      : QStringLiteral(" (its sheets: %1).").arg(names.join(QStringLiteral(", ")));
        return false;
    }

    Record record;
    if (!reader.seek(sheet->offset) || !reader.next(&record, error) || record.type != Biff::Bof ||
        record.data.size() < 4 || u16At(record.data, 2) != Biff::SubstreamWorksheet) {
        *error =
            damaged(QStringLiteral("the sheet “%1” does not start where the workbook says").arg(sheetName));
        return false;
    }
    CellCollector collector(globals.strings);
    return collector.read(reader, error) && buildRows(collector.cells(), rows, error);
}

} // namespace Xls
