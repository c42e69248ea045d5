#pragma once

#include <QByteArrayView>
#include <QString>

namespace Xls {

// One BIFF record as found in the stream; data points into the stream.
struct Record {
    quint16 type = 0;
    qsizetype offset = 0; // stream position of the record header
    QByteArrayView data;
};

// Walks the records of a BIFF stream. Every length is checked against the stream and against the
// format's largest record before it is used, so a damaged stream ends the walk with an error instead
// of a read past its end or a record read as something it is not.
class RecordReader {
public:
    explicit RecordReader(QByteArrayView stream);

    // Moves to the record header at offset; false if offset lies outside the stream.
    bool seek(qsizetype offset);
    bool atEnd() const { return m_pos >= m_stream.size(); }
    // Reads the next record; false with a reason in *error if no complete record follows.
    bool next(Record *record, QString *error);

private:
    QByteArrayView m_stream;
    qsizetype m_pos = 0;
};

} // namespace Xls
