#pragma once

#include "core/config/SettingsRecord.h"
#include "core/inspection/ClamdEndpoint.h"

#include <QString>

// What is checked before a file crosses, as the administrator set it in the settings file's
// [Inspection] section. Every check is off unless its key says otherwise.
struct InspectionSettings {
    enum class Scanner { None, Clamd };

    bool checkContent = false; // the true type by content must fit the extension
    bool openArchives = false; // the members of archives must pass too
    Scanner scanner = Scanner::None;
    ClamdEndpoint clamd; // Clamd: where it listens (with the reason when the settings make no sense)
    // A value the station cannot use, in the operator's words; empty when every value is understood.
    // A switch that is neither on nor off counts as on, and an unknown scanner as a scanner that is not
    // there: a mistyped setting never lets a file through unchecked.
    QString problem;

    bool anyOn() const { return checkContent || openArchives || scanner != Scanner::None; }

    // Reads the five settings of record. CheckContent and OpenArchives: 1 on, 0 or empty off;
    // Scanner: clamd, or empty for none.
    static InspectionSettings from(const SettingsRecord &record);

    // Writes these settings into record, so saving it writes them: a switch that is off and no
    // scanner leave their keys empty (not written to a file that lacks them).
    void applyTo(SettingsRecord &record) const;

    bool operator==(const InspectionSettings &) const = default;
};
