#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The header block a sender opens every connection with, as the peer takes it: the station's own
// reading (HeaderBlock::parse) plus the peer's stricter checks, because the peer stores under these
// names and must not guess: each text field is zero-filled after its text, and the text is CP936.
class IsolatorHeader {
public:
    // Reads a 4096-byte block. Never fails outright: a header the peer must not act on comes back with
    // refusal() set, and with as much of its text decoded as there is, for the log line.
    static IsolatorHeader parse(const QByteArray &block);

    quint64 size() const { return m_size; }
    const QString &name() const { return m_name; }
    const QString &address() const { return m_address; }
    const QString &path() const { return m_path; }
    // Why the header is refused; empty for a sound one.
    const QString &refusal() const { return m_refusal; }
    bool isValid() const { return m_refusal.isEmpty(); }

    // Data blocks that follow the acknowledgement: the size divided by 4096, rounded up.
    quint64 blockCount() const;

private:
    void checkField(const QByteArray &block, qsizetype offset, qsizetype length, const QByteArray &text,
                    const QString &what);
    void refuse(const QString &why);

    quint64 m_size = 0;
    QString m_name;
    QString m_address;
    QString m_path;
    QString m_refusal;
};
