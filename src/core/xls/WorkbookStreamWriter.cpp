#include "core/xls/WorkbookStreamWriter.h"

#include "core/xls/BiffRecords.h"
#include "core/xls/RecordWriter.h"
#include "core/xls/SharedStringTable.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Xls {

namespace {

constexpr quint32 kBlankCell = 0xFFFFFFFF;
constexpr quint32 kNumberCell = 0xFFFFFFFE; // its value is the cell's text, read again when it is written

// Up to 15 digits: a double holds every such number exactly.
bool isWholeNumber(const QString &text) {
    return !text.isEmpty() && text.size() <= 15 &&
           std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

void setError(QString *error, const QString &text) {
    if (error) {
        *error = text;
    }
}

bool checkSheetName(const QString &name, QString *error) {
    static const QString forbidden = QStringLiteral("[]:*?/\\");
    bool ok = !name.isEmpty() && name.size() <= Biff::MaxSheetNameChars && !name.startsWith(u'\'') &&
              !name.endsWith(u'\'');
    for (QChar c : name) {
        ok = ok && !forbidden.contains(c);
    }
    if (!ok) {
        setError(error,
                 QStringLiteral("“%1” cannot name an Excel sheet: it takes 1 to 31 characters, none of "
                                "[ ] : * ? / \\, and no apostrophe at either end.")
                     .arg(name));
    }
    return ok;
}

bool checkRows(const Rows &rows, QString *error) {
    if (rows.size() > Biff::MaxRows) {
        setError(error, QStringLiteral("The sheet has %1 rows; an Excel 97-2003 sheet holds at most %2.")
                            .arg(rows.size())
                            .arg(Biff::MaxRows));
        return false;
    }
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QStringList &row = rows.at(r);
        if (row.size() > Biff::MaxColumns) {
            setError(error,
                     QStringLiteral("Row %1 has %2 cells; an Excel 97-2003 sheet holds at most %3 columns.")
                         .arg(r + 1)
                         .arg(row.size())
                         .arg(Biff::MaxColumns));
            return false;
        }
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (row.at(c).size() > Biff::MaxCellChars) {
                setError(error, QStringLiteral("The cell in row %1, column %2 holds %3 characters; an Excel "
                                               "97-2003 cell holds at most %4.")
                                    .arg(r + 1)
                                    .arg(c + 1)
                                    .arg(row.at(c).size())
                                    .arg(Biff::MaxCellChars));
                return false;
            }
        }
    }
    return true;
}

bool isNarrow(QStringView text) {
    for (QChar c : text) {
        if (c.unicode() > 0xFF) {
            return false;
        }
    }
    return true;
}

void writeBof(RecordWriter &out, quint16 substream) {
    out.begin(Biff::Bof);
    out.u16(Biff::VersionBiff8);
    out.u16(substream);
    out.u16(0x0DBB); // build and year of the Excel 97 release, as Excel itself writes them
    out.u16(0x07CC);
    out.u32(0);                       // file history flags
    out.u32(Biff::VersionBiff8 >> 8); // lowest version able to read every record
    out.end();
}

void writeFonts(RecordWriter &out) {
    // Excel needs five; the fifth is never referenced (font index 4 does not exist in XF records).
    for (int i = 0; i < 5; ++i) {
        out.begin(Biff::Font);
        out.u16(200); // 10 pt, in twentieths of a point
        out.u16(0);
        out.u16(0x7FFF); // automatic colour
        out.u16(400);    // normal weight
        out.u16(0);
        out.u8(0);
        out.u8(0);
        out.u8(0);
        out.u8(0);
        out.u8(5);
        out.u8(0);
        out.bytes("Arial");
        out.end();
    }
}

void writeXf(RecordWriter &out, quint16 font, quint16 typeAndParent, quint8 usedAttributes) {
    out.begin(Biff::Xf);
    out.u16(font);
    out.u16(0);             // general number format
    out.u16(typeAndParent); // locked; style XFs carry the style flag and parent 0xFFF
    out.u8(0x20);           // aligned to the bottom
    out.u8(0);
    out.u8(0);
    out.u8(usedAttributes);
    out.u32(0); // no borders
    out.u32(0);
    out.u16(0x20C0); // automatic pattern colours
    out.end();
}

void writeFormats(RecordWriter &out) {
    // The fifteen style XFs and the one cell XF that every Excel workbook starts with.
    static const quint16 styleFonts[15] = {0, 1, 1, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 15; ++i) {
        writeXf(out, styleFonts[i], 0xFFF5, i == 0 ? 0x00 : 0xF4);
    }
    writeXf(out, 0, 0x0001, 0x00);

    out.begin(Biff::Style);
    out.u16(0x8000); // built-in style on XF 0
    out.u8(0);       // "Normal"
    out.u8(0xFF);
    out.end();
}

void writeGlobals(RecordWriter &out, const QString &sheetName, const SharedStringTable &strings,
                  qsizetype *sheetOffsetField) {
    writeBof(out, Biff::SubstreamGlobals);

    out.begin(Biff::CodePage);
    out.u16(1200); // UTF-16
    out.end();

    out.begin(Biff::Window1);
    out.u16(0);
    out.u16(0);
    out.u16(0x4000);
    out.u16(0x2000);
    out.u16(0x0038); // horizontal and vertical scroll bars, sheet tabs
    out.u16(0);
    out.u16(0);
    out.u16(1);
    out.u16(600);
    out.end();

    writeFonts(out);
    writeFormats(out);

    const bool narrowName = isNarrow(sheetName);
    out.begin(Biff::BoundSheet);
    *sheetOffsetField = out.pos();
    out.u32(0); // stream offset of the sheet's BOF, known once the globals are written
    out.u8(0);  // visible
    out.u8(Biff::SheetTypeWorksheet);
    out.u8(quint8(sheetName.size()));
    out.u8(narrowName ? 0 : Biff::StringHighByte);
    out.chars(sheetName, !narrowName);
    out.end();

    strings.write(out);

    out.begin(Biff::Eof);
    out.end();
}

void writeSheet(RecordWriter &out, const Rows &rows, const std::vector<quint32> &cellStrings) {
    writeBof(out, Biff::SubstreamWorksheet);

    qsizetype lastRow = -1;
    qsizetype width = 0;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        if (!rows.at(r).isEmpty()) {
            lastRow = r;
            width = qMax(width, rows.at(r).size());
        }
    }
    out.begin(Biff::Dimensions);
    out.u32(0);
    out.u32(quint32(lastRow + 1));
    out.u16(0);
    out.u16(quint16(width));
    out.u16(0);
    out.end();

    size_t cell = 0;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const qsizetype count = rows.at(r).size();
        for (qsizetype c = 0; c < count; ++c, ++cell) {
            const quint32 string = cellStrings[cell];
            out.begin(string == kBlankCell    ? Biff::Blank
                      : string == kNumberCell ? Biff::Number
                                              : Biff::LabelSst);
            out.u16(quint16(r));
            out.u16(quint16(c));
            out.u16(Biff::CellXfIndex);
            if (string == kNumberCell) {
                // An IEEE 754 double, little-endian as every field of the stream.
                const auto value = double(rows.at(r).at(c).toLongLong());
                quint64 bits = 0;
                std::memcpy(&bits, &value, sizeof bits);
                out.u32(quint32(bits));
                out.u32(quint32(bits >> 32));
            } else if (string != kBlankCell) {
                out.u32(string);
            }
            out.end();
        }
    }

    out.begin(Biff::Window2);
    out.u16(0x06B6); // grid, headers, zeros, outline symbols; the selected, active sheet
    out.u16(0);
    out.u16(0);
    out.u16(0x0040); // automatic grid colour
    out.u16(0);
    out.u16(0);
    out.u16(0);
    out.u32(0);
    out.end();

    out.begin(Biff::Eof);
    out.end();
}

} // namespace

bool buildWorkbookStream(const QString &sheetName, const Rows &rows, QByteArray *stream, QString *error,
                         const QList<int> &numberColumns) {
    if (!checkSheetName(sheetName, error) || !checkRows(rows, error)) {
        return false;
    }

    qsizetype cellCount = 0;
    for (const QStringList &row : rows) {
        cellCount += row.size();
    }

    SharedStringTable strings(cellCount);
    std::vector<quint32> cellStrings;
    cellStrings.reserve(size_t(cellCount));
    for (const QStringList &row : rows) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            const QString &text = row.at(c);
            cellStrings.push_back(text.isEmpty() ? kBlankCell
                                  : numberColumns.contains(int(c)) && isWholeNumber(text)
                                      ? kNumberCell
                                      : strings.add(text));
        }
    }

    // Stream offsets in the records are 32-bit and the compound file holds at most 2 GiB.
    const qsizetype expectedSize = 1536 + strings.estimatedSize() + 14 * cellCount + 64;
    if (expectedSize > qsizetype(0x7FFF0000)) {
        setError(error, QStringLiteral("The sheet holds too much text for one Excel 97-2003 workbook."));
        return false;
    }
    RecordWriter out(expectedSize);
    qsizetype sheetOffsetField = 0;
    writeGlobals(out, sheetName, strings, &sheetOffsetField);
    out.patchU32(sheetOffsetField, quint32(out.pos()));
    writeSheet(out, rows, cellStrings);
    out.padTo(Biff::MinStreamSize);
    *stream = out.take();
    return true;
}

} // namespace Xls
