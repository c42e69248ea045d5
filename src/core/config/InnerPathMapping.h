#pragma once

#include "core/common/Notice.h"

#include <QList>
#include <QString>
#include <functional>

// The inner-network mapping file "Brelvantis.path": for every transit subfolder, the inner address
// (IP:port) and the inner path its files go to, as one text of records
//     |name*inner path>inner address|name*inner path>inner address|...
// in code page 936, with no line breaks. It is read afresh at every use.
class QFile;

class InnerPathMapping {
public:
    // What a look-up of one subfolder found.
    struct Lookup {
        bool fileOpened = false;     // the mapping file could be read
        bool keyFound = false;       // a record for the name exists
        bool keyAtTextStart = false; // ...but only as the very first text, without the leading "|"
        bool pathFound = false;      // a ">" ends the inner path
        bool addressFound = false;   // a "|" ends the inner address
        QString innerPath;
        QString innerAddress;
    };

    // How a queueing operation judges a look-up, in the order it checks.
    enum class QueueVerdict { FileMissing, NotConfigured, BadInnerPath, BadInnerAddress, Accepted };

    struct Row {
        QString folderName;
        QString innerAddress;
        QString innerPath;
    };

    // Readers take at most this much of the file; a larger file is not written back by the dialog,
    // which would otherwise drop the records it never saw.
    static constexpr qint64 kReadLimit = 1 << 20;

    explicit InnerPathMapping(QString filePath = QStringLiteral("Brelvantis.path"));

    const QString &filePath() const { return m_filePath; }

    // Reads the mapping text; false when the file cannot be opened (only a regular file is, a final
    // link followed only to one). *complete is false when the file is larger than the read limit.
    bool readText(QString *text, bool *complete = nullptr) const;

    // Opens the file for reading; tests replace it to make an existing file unreadable whoever runs
    // them (permissions do not stop root).
    using Opener = std::function<bool(QFile &file)>;
    void setOpener(Opener opener) { m_open = std::move(opener); }

    // Looks name up in text. A record counts only where it starts: right after a "|" — or, for the
    // dialog's sake, at the very start of the text, which keyAtTextStart reports.
    static Lookup find(const QString &text, const QString &name);

    // Reads the file and looks name up.
    Lookup lookup(const QString &name) const;

    static QueueVerdict judgeForQueue(const Lookup &lookup);

    // The text of rows as the file holds it: empty for no rows.
    static QString textOf(const QList<Row> &rows);

    // Why the mapping dialog refuses an inner address ("IP:port", a dotted IPv4 address and a port of
    // 1 to 65535) or an inner path (filled in; not on drive c:, the inner machine's system drive; ":"
    // only after a drive letter; no ".." folder; none of the file's own marks "|", "*", ">"), for the
    // operator; empty text when it is fine.
    static QString innerAddressProblem(const QString &innerAddress);
    static QString innerPathProblem(const QString &innerPath);

    // Writes rows as the whole file (replaced atomically; 0 bytes for no rows). Returns a notice
    // when it did not write: a text with no code page 936 form, or a write error.
    Notice write(const QList<Row> &rows) const;

private:
    QString m_filePath;
    Opener m_open;
};
