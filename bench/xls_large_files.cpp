// bench_xls_large_files DIR: writes the workbooks that bench/log-show-memory reads back, built
// record by record so that they hold what the station's writer never produces:
//   strings.xls  about 20 MB: five million one-character shared strings, a few hundred cells using them
//   grid.xls     about 2 MB: two number cells in each of the 65536 rows, in the first and the last column
//   shared.xls   about 100 KB: one shared string of 32767 characters used by 5000 cells
//   log.xls      about 25 MB: a day's log whose 65535 records use five million short shared strings
#include "core/xls/XlsHandBuilt.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

using namespace XlsHandBuilt;

namespace {

constexpr quint32 kStringCount = 5'000'000;
constexpr int kMaxRecordData = 8224;

// kStringCount shared strings: the leading ones, then one-letter texts, in records of at most
// kMaxRecordData bytes.
void fillSharedStrings(Workbook &book, const QList<QByteArray> &leading = {}) {
    QByteArray part = u32(kStringCount) + u32(kStringCount);
    for (quint32 i = 0; i < kStringCount; ++i) {
        const QByteArray text = i < quint32(leading.size()) ? leading[i] : u16(1) + '\0' + char('a' + i % 26);
        if (part.size() + text.size() > kMaxRecordData) {
            book.sst.append(part);
            part.clear();
        }
        part += text;
    }
    book.sst.append(part);
}

QByteArray stringsBook() {
    Workbook book;
    fillSharedStrings(book);
    QByteArray cells;
    for (quint16 row = 0; row < 200; ++row) {
        for (quint16 column = 0; column < 5; ++column) {
            cells += labelSst(row, column, (quint32(row) * 5 + column) * 4999);
        }
    }
    book.sheets[0].records = cells;
    return compoundFile(stream(book));
}

QByteArray gridBook() {
    Workbook book;
    QByteArray cells;
    for (int row = 0; row < 65536; ++row) {
        cells += rk(quint16(row), 0, quint32(row) << 2 | 0x2);
        cells += rk(quint16(row), 255, quint32(row) << 2 | 0x2);
    }
    book.sheets[0].records = cells;
    return compoundFile(stream(book));
}

QByteArray logBook() {
    const QStringList columns = {QStringLiteral("序号"),     QStringLiteral("文件名称"),
                                 QStringLiteral("文件大小"), QStringLiteral("存放路径"),
                                 QStringLiteral("操作状态"), QStringLiteral("开始时间"),
                                 QStringLiteral("完成时间")};
    Workbook book;
    QList<QByteArray> names;
    for (const QString &column : columns) {
        names.append(string16(column, true));
    }
    fillSharedStrings(book, names);
    QByteArray cells;
    for (quint16 column = 0; column < 7; ++column) {
        cells += labelSst(0, column, column);
    }
    for (int row = 1; row < 65536; ++row) {
        for (quint16 column = 1; column < 7; ++column) {
            cells += labelSst(quint16(row), column, 7 + quint32(row) * 70 + column);
        }
    }
    book.sheets[0].records = cells;
    return compoundFile(stream(book));
}

QByteArray sharedBook() {
    Workbook book;
    const QByteArray text = u16(32767) + '\0' + QByteArray(32767, 'x');
    book.sst.append(u32(5000) + u32(1) + text.left(kMaxRecordData - 8));
    for (qsizetype at = kMaxRecordData - 8; at < text.size(); at += kMaxRecordData - 1) {
        book.sst.append('\0' + text.mid(at, kMaxRecordData - 1));
    }
    QByteArray cells;
    for (quint16 row = 0; row < 1000; ++row) {
        for (quint16 column = 0; column < 5; ++column) {
            cells += labelSst(row, column, 0);
        }
    }
    book.sheets[0].records = cells;
    return compoundFile(stream(book));
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("Usage: bench_xls_large_files DIR\n", stderr);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    for (const auto &[name, bytes] : {std::pair{QStringLiteral("strings.xls"), stringsBook()},
                                      std::pair{QStringLiteral("grid.xls"), gridBook()},
                                      std::pair{QStringLiteral("shared.xls"), sharedBook()},
                                      std::pair{QStringLiteral("log.xls"), logBook()}}) {
        const QString path = save(dir, name, bytes);
        std::printf("%s\t%lld bytes\n", qPrintable(path), qint64(bytes.size()));
    }
    return 0;
}
