#pragma once

#include <QByteArrayView>
#include <QString>

struct _GsfOutput;
struct _GsfOutfile;

namespace Xls {

// Builds an OLE2 compound file (512-byte sectors) in memory with libgsf. Streams shorter than 4096
// bytes land in the file's mini stream, as the format requires.
class CompoundFileWriter {
public:
    CompoundFileWriter();
    ~CompoundFileWriter();
    CompoundFileWriter(const CompoundFileWriter &) = delete;
    CompoundFileWriter &operator=(const CompoundFileWriter &) = delete;

    bool addStream(const QString &name, QByteArrayView data, QString *error);
    // Writes the directory and allocation tables; bytes() is the file afterwards.
    bool finish(QString *error);
    // The finished file; valid as long as the writer lives.
    QByteArrayView bytes() const;

private:
    _GsfOutput *m_sink = nullptr;
    _GsfOutfile *m_ole = nullptr;
    bool m_finished = false;
};

} // namespace Xls
