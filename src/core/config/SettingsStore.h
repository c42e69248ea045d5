#pragma once

#include "core/common/Failure.h"
#include "core/common/Notice.h"
#include "core/config/SettingsRecord.h"

#include <QString>

// Loads and saves the settings record in the settings file, a profile file in CP936 with the sections
// "Path Parameters" and "File Filters", and "Transfer", "Inspection", "Automatic" and "AutoFolders" for
// the newer settings (written only once one is set). Saving keeps every line of the file it does not
// change.
class SettingsStore {
public:
    struct SaveResult {
        enum class Outcome {
            Saved,
            Refused, // a required folder is empty: nothing written, nothing to show
            Failed,  // nothing written; notice says why
        };
        Outcome outcome = Outcome::Saved;
        Notice notice;
    };

    // Each value is read back into a 512-byte buffer by the station, so at most this many bytes.
    static constexpr qsizetype kValueReadLimit = 511;

    // The default name is relative: the file lies in the working directory.
    explicit SettingsStore(QString filePath = QStringLiteral(".////Berlvantis.ini"));

    const QString &filePath() const { return m_filePath; }

    // Fills every value from the file (a missing key gives an empty value, a long one its first
    // 511 bytes; the isolator address and port without blanks around them). Returns false and leaves
    // record as it was when the file does not exist. A file that is there but cannot be read (not a
    // regular file, too large, an error) gives empty values, as the profile functions do, and
    // *failure says why.
    bool load(SettingsRecord &record, Failure *failure = nullptr) const;

    // Refuses (silently) when the completion, transit or upload folder is empty; fails with a notice
    // when a value has no CP936 form or cannot stand on one line, or when the file cannot be read or
    // written. In every case but Saved the file is left as it was.
    SaveResult save(const SettingsRecord &record) const;

private:
    QString m_filePath;
};
