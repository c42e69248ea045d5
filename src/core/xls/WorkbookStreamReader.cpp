#include "core/xls/WorkbookStreamReader.h"

#include "core/xls/BiffRecords.h"
#include "core/xls/CellText.h"
#include "core/xls/CompoundFileReader.h"
#include "core/xls/RecordDataReader.h"
#include "core/xls/RecordReader.h"
#include "core/xls/SharedStringIndex.h"

#include <QtEndian>
#include <algorithm>
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
    SharedStringIndex strings;
};

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

qsizetype dataStart(const Record &record) {
    return record.offset + Biff::RecordHeaderSize;
}

qsizetype dataEnd(const Record &record) {
    return dataStart(record) + record.data.size();
}

bool checkBofLength(const Record &record, QString *error) {
    if (record.data.size() >= Biff::MinBofData && record.data.size() <= Biff::MaxBofData) {
        return true;
    }
    *error = damaged(QStringLiteral("the BOF record at byte %1 is %2 bytes long, where %3 to %4 belong")
                         .arg(record.offset)
                         .arg(record.data.size())
                         .arg(Biff::MinBofData)
                         .arg(Biff::MaxBofData));
    return false;
}

bool readGlobals(QByteArrayView stream, RecordReader &reader, Globals *globals, QString *error) {
    Record record;
    if (!reader.next(&record, error)) {
        return false;
    }
    if (record.type != Biff::Bof) {
        *error =
            QStringLiteral("The file is not an Excel workbook: its workbook stream does not begin with a "
                           "BOF record.");
        return false;
    }
    if (!checkBofLength(record, error)) {
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
        if (!reader.next(&record, error)) {
            return false;
        }
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
        case Biff::Sst:
            // Its CONTINUE records are read through it and passed over by this loop.
            if (!globals->strings.add(stream, dataStart(record), dataEnd(record), error)) {
                return false;
            }
            break;
        default:
            break;
        }
    }
}

// Reads a string at the reader's position; *empty tells whether it has no characters.
bool checkString(RecordDataReader data, bool *empty) {
    RecordDataReader count = data;
    quint16 chars = 0;
    if (!count.u16(&chars) || !data.string16(nullptr)) {
        return false;
    }
    *empty = chars == 0;
    return true;
}

// A non-empty cell: where its value is stored, to be decoded when its row is handed over.
struct CellRef {
    quint16 row;
    quint16 column;
    quint32 record; // stream position of the record holding the value
    quint16 item;   // the value's place in a record holding several (MULRK)
};

bool operator<(const CellRef &a, const CellRef &b) {
    // Stream order decides between two values for one cell: the later one wins.
    return std::tie(a.row, a.column, a.record, a.item) < std::tie(b.row, b.column, b.record, b.item);
}

// A worksheet's cells in two passes: the first checks every record and notes where each non-empty
// cell's value lies (twelve bytes per cell, never more than two per byte of the records); the second
// hands the rows over in order, decoding the cells of one row at a time.
class SheetReader {
public:
    SheetReader(QByteArrayView stream, const SharedStringIndex &strings)
        : m_stream(stream), m_strings(strings) {}

    bool index(RecordReader &reader, QString *error);
    bool handOver(const RowHandler &onRow, QString *error);

private:
    bool indexCell(const Record &record, QString *error);
    bool add(quint16 row, quint16 column, const Record &record, quint16 item, QString *error);
    QString text(const CellRef &cell) const;

    QByteArrayView m_stream;
    const SharedStringIndex &m_strings;
    std::vector<CellRef> m_cells;
    bool m_formulaStringPending = false;
    quint16 m_formulaRow = 0;
    quint16 m_formulaColumn = 0;
};

bool SheetReader::add(quint16 row, quint16 column, const Record &record, quint16 item, QString *error) {
    if (column >= Biff::MaxColumns) {
        *error = damaged(QStringLiteral("the cell record at byte %1 puts a value into column %2 of only %3")
                             .arg(record.offset)
                             .arg(int(column) + 1)
                             .arg(Biff::MaxColumns));
        return false;
    }
    m_cells.push_back({row, column, quint32(record.offset), item});
    return true;
}

bool SheetReader::index(RecordReader &reader, QString *error) {
    int depth = 1; // embedded charts bring their own BOF ... EOF, whose records are not cells
    Record record;
    while (depth > 0) {
        if (!reader.next(&record, error)) {
            return false;
        }
        if (record.type == Biff::Bof) {
            if (!checkBofLength(record, error)) {
                return false;
            }
            ++depth;
        } else if (record.type == Biff::Eof) {
            --depth;
        } else if (depth == 1 && !indexCell(record, error)) {
            return false;
        }
    }
    return true;
}

bool SheetReader::indexCell(const Record &record, QString *error) {
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
    case Biff::FormulaOld:
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
        if (!m_formulaStringPending) {
            return true;
        }
        break;
    default:
        return true; // not a cell holding a value
    }
    if (data.size() < needed) {
        *error = damaged(QStringLiteral("the cell record at byte %1 is cut short").arg(record.offset));
        return false;
    }
    bool empty = false;
    if (record.type == Biff::String) {
        m_formulaStringPending = false;
        if (!checkString(RecordDataReader(m_stream, dataStart(record), dataEnd(record), dataStart(record)),
                         &empty)) {
            *error = damaged(QStringLiteral("the formula result at byte %1 is cut short").arg(record.offset));
            return false;
        }
        return empty || add(m_formulaRow, m_formulaColumn, record, 0, error);
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
        return m_strings.isEmptyAt(index) || add(row, column, record, 0, error);
    }
    case Biff::Label:
    case Biff::RString:
        if (!checkString(
                RecordDataReader(m_stream, dataStart(record), dataEnd(record), dataStart(record) + 6),
                &empty)) {
            *error = damaged(QStringLiteral("the text cell at byte %1 is cut short").arg(record.offset));
            return false;
        }
        return empty || add(row, column, record, 0, error);
    case Biff::MulRk: {
        // Six bytes per cell between the first column and the closing last-column field.
        const qsizetype count = (data.size() - 6) / 6;
        for (qsizetype i = 0; i < count; ++i) {
            if (!add(row, quint16(qMin<qsizetype>(column + i, 0xFFFF)), record, quint16(i), error)) {
                return false;
            }
        }
        return true;
    }
    case Biff::Formula:
    case Biff::FormulaOld:
        if (u16At(data, 12) == 0xFFFF && data[6] == 0) {
            // A text result follows in a STRING record.
            m_formulaStringPending = true;
            m_formulaRow = row;
            m_formulaColumn = column;
            return true;
        }
        if (u16At(data, 12) == 0xFFFF && data[6] != 1 && data[6] != 2) {
            return true; // an empty text result
        }
        return add(row, column, record, 0, error);
    default:
        return add(row, column, record, 0, error); // numbers, booleans and errors are never empty
    }
}

QString SheetReader::text(const CellRef &cell) const {
    const qsizetype start = qsizetype(cell.record) + Biff::RecordHeaderSize;
    const quint16 type = u16At(m_stream, cell.record);
    const QByteArrayView data = m_stream.sliced(start, u16At(m_stream, cell.record + 2));
    const qsizetype end = start + data.size();
    QString result;
    switch (type) {
    case Biff::LabelSst:
        return m_strings.text(u32At(data, 6));
    case Biff::Label:
    case Biff::RString:
        RecordDataReader(m_stream, start, end, start + 6).string16(&result);
        return result;
    case Biff::String:
        RecordDataReader(m_stream, start, end, start).string16(&result);
        return result;
    case Biff::Number:
        return CellText::fromNumber(f64At(data, 6));
    case Biff::Rk:
        return CellText::fromNumber(CellText::fromRk(u32At(data, 6)));
    case Biff::MulRk:
        return CellText::fromNumber(CellText::fromRk(u32At(data, 4 + 6 * qsizetype(cell.item) + 2)));
    case Biff::BoolErr:
        return data[7] ? CellText::fromErrorCode(quint8(data[6])) : CellText::fromBoolean(quint8(data[6]));
    case Biff::Formula:
    case Biff::FormulaOld:
        if (u16At(data, 12) != 0xFFFF) {
            return CellText::fromNumber(f64At(data, 6));
        }
        return data[6] == 1 ? CellText::fromBoolean(quint8(data[8]))
                            : CellText::fromErrorCode(quint8(data[8]));
    default:
        return result;
    }
}

bool SheetReader::handOver(const RowHandler &onRow, QString *error) {
    if (m_cells.empty()) {
        return true;
    }
    // Cells come row by row in nearly every file; only a file that mixes them up pays for sorting.
    if (!std::is_sorted(m_cells.begin(), m_cells.end())) {
        std::sort(m_cells.begin(), m_cells.end());
    }
    const int height = m_cells.back().row + 1;
    int width = 0;
    for (const CellRef &cell : m_cells) {
        width = qMax(width, cell.column + 1);
    }

    QStringList row(width);
    auto next = m_cells.cbegin();
    for (int r = 0; r < height; ++r) {
        auto first = next;
        for (; next != m_cells.cend() && next->row == r; ++next) {
            row[next->column] = text(*next);
        }
        if (!onRow(row, error)) {
            return false;
        }
        for (auto cell = first; cell != next; ++cell) {
            row[cell->column] = QString();
        }
    }
    return true;
}

} // namespace

bool readWorksheetFromStream(QByteArrayView stream, const QString &sheetName, const RowHandler &onRow,
                             QString *error) {
    RecordReader reader(stream);
    Globals globals;
    if (!readGlobals(stream, reader, &globals, error)) {
        return false;
    }

    const SheetEntry *sheet = nullptr;
    QStringList names;
    for (const SheetEntry &entry : std::as_const(globals.sheets)) {
        if (entry.type != Biff::SheetTypeWorksheet) {
            continue;
        }
        names.append(entry.name);
        if (!sheet && entry.name == sheetName) {
            sheet = &entry;
        }
    }
    if (!sheet) {
        *error = QStringLiteral("The workbook has no sheet named “%1”").arg(sheetName);
        *error += names.isEmpty()
                      ? QStringLiteral(".")
                      : QStringLiteral(" (its sheets: %1).").arg(names.join(QStringLiteral(", ")));
        return false;
    }

    // A BOF record of an impossible length is named as such; anything else that is not the sheet's
    // BOF means the sheet entry points to the wrong place.
    Record record;
    const qsizetype at = sheet->offset;
    if (at + Biff::RecordHeaderSize <= stream.size() && u16At(stream, at) == Biff::Bof) {
        const quint16 length = u16At(stream, at + 2);
        if (length < Biff::MinBofData || length > Biff::MaxBofData) {
            *error = damaged(QStringLiteral("the BOF record of the sheet “%1” at byte %2 is %3 bytes long, "
                                            "where %4 to %5 belong")
                                 .arg(sheetName)
                                 .arg(at)
                                 .arg(length)
                                 .arg(Biff::MinBofData)
                                 .arg(Biff::MaxBofData));
            return false;
        }
    }
    if (!reader.seek(at) || !reader.next(&record, error) || record.type != Biff::Bof ||
        u16At(record.data, 2) != Biff::SubstreamWorksheet) {
        *error =
            damaged(QStringLiteral("the sheet “%1” does not start where the workbook says").arg(sheetName));
        return false;
    }
    SheetReader cells(stream, globals.strings);
    return cells.index(reader, error) && cells.handOver(onRow, error);
}

bool readWorksheetFromFileBytes(QByteArray &&file, const QString &sheetName, const RowHandler &onRow,
                                QString *error) {
    QByteArray stream;
    {
        const QByteArray bytes = std::move(file);
        QString streamName;
        const QStringList names{QStringLiteral("Workbook"), QStringLiteral("Book")};
        if (!readCompoundFileStream(bytes, names, &stream, &streamName, error)) {
            return false;
        }
    }
    return readWorksheetFromStream(stream, sheetName, onRow, error);
}

} // namespace Xls
