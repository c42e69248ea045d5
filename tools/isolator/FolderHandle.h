#pragma once

#include <QFile>
#include <QString>
#include <cstdint>

// A folder below the peer's root, held open, so that everything the peer does there happens in that
// very folder: names are looked up, folders made and files created relative to it, never through a
// symbolic link. A link planted below the root could otherwise lead a received file out of the root,
// or into the file it points at. One small source file per platform implements this header
// (folderhandle_posix.cpp here). Failures give the system's error code (errno).
class FolderHandle {
public:
    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(FolderHandle &&other) noexcept;
    FolderHandle &operator=(FolderHandle &&other) noexcept;
    FolderHandle(const FolderHandle &) = delete;
    FolderHandle &operator=(const FolderHandle &) = delete;

    // Opens a folder by its path. Links on the way are followed: this is the root the operator chose.
    static FolderHandle open(const QString &path, int *error);
    bool isOpen() const { return m_handle >= 0; }

    // Opens the folder name in this one, made first when missing (*made tells). A link there is
    // refused with ELOOP, even one that leads to a folder.
    FolderHandle openChild(const QString &name, bool *made, int *error) const;
    // Removes the folder name in this one if it is empty (and not a link).
    void removeChild(const QString &name) const;
    // True when anything at all is called name here: a file, a folder, a link (dangling ones too).
    bool contains(const QString &name) const;

private:
    friend class IncomingFile;
    std::intptr_t m_handle = -1;
};

// A file being received into a folder: written without a name (under a hidden temporary one where the
// system has no nameless files) and named only once complete, with a name nothing has yet. It never
// replaces a file and never writes through a link; dropped unless named.
class IncomingFile {
public:
    explicit IncomingFile(const FolderHandle &folder);
    ~IncomingFile();
    IncomingFile(const IncomingFile &) = delete;
    IncomingFile &operator=(const IncomingFile &) = delete;

    // Creates the file and opens file() on it for writing. 0, or the error code.
    int create();
    QFile &file() { return m_file; }

    // Makes what was written durable and gives the file the name. 0; EEXIST when anything has that
    // name already (nothing was replaced: try another); or another error code.
    int publish(const QString &name);

private:
    const FolderHandle &m_folder;
    QFile m_file;
    std::intptr_t m_handle = -1;
    QString m_temporaryName; // empty while the file has no name at all
    bool m_published = false;
    bool m_synced = false;
};
