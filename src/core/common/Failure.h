#pragma once

#include <QString>

// What went wrong in an operation on a file, a folder or a connection, as the core reports it: what
// was tried, on which path, the system's reason in the operator's words (systemErrorText), and any
// library detail. The core never words the sentence; the layer that shows the failure does, once,
// through sentence(). Library detail (a workbook reader's English, say) goes on a line of its own.
struct Failure {
    enum class Kind {
        None,    // nothing failed
        Read,    // a file could not be opened or read
        Write,   // a file could not be created or written
        Move,    // a file could not be moved
        Folder,  // a folder could not be made or listed
        Format,  // the file was read, but is not what it should be
        TooLarge // the file is larger than the station reads
    };

    Kind kind = Kind::None;
    QString path;   // the file or folder concerned, as the operator knows it
    QString reason; // the system's reason, in Chinese; may be empty
    QString detail; // a library's own words, for a second line; may be empty

    bool failed() const { return kind != Kind::None; }

    static Failure of(Kind kind, const QString &path, const QString &reason, const QString &detail = {}) {
        return Failure{kind, path, reason, detail};
    }

    // The operator's sentence: "无法读取 <path>：<reason>", and the detail on a second line.
    QString sentence() const;
};
