#pragma once

#include "core/common/Clock.h"
#include "core/config/FileTypeFilter.h"
#include "core/config/InnerPathMapping.h"
#include "core/config/SettingsStore.h"
#include "core/records/UploadTable.h"
#include "core/records/RecordLog.h"
#include "core/transfer/TransferJob.h"
#include "core/transfer/TransferWorker.h"

#include <QString>
#include <memory>

// The station's long-lived logic objects, built once by the composition root and handed to the
// widgets by reference. Tests build their own with a fixed clock and a temporary working folder.
struct StationParts {
    // workFolder: where the settings, mapping and filter files live (the working directory by
    // default). clock: null for the system clock.
    // job: the transfer job the worker and the scheduler share (tests pass their own).
    explicit StationParts(const QString &workFolder = QString(), std::unique_ptr<Clock> clock = nullptr,
                          TransferJob &job = g_transferJob);

    // Path of one of the station's configuration files in the work folder.
    QString configPath(const QString &name) const;

    QString workFolder;
    std::unique_ptr<Clock> clock;
    SettingsStore settingsStore;
    FileTypeFilter filter;
    InnerPathMapping mapping;
    TransferJob &job;
    UploadTable table;
    RecordLog log;
    TransferWorker worker;
};
