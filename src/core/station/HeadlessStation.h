#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class StationAutomation;
class StationLock;
class StatusPublisher;
struct SettingsRecord;
struct StationParts;

// The station without a window, for a service: it sends what the automatic subfolders queue, from the
// start, and says what it does on its output, one line per event (the service manager stamps the time).
// Nobody can be asked anything: settings it cannot run with end the start.
class HeadlessStation : public QObject {
    Q_OBJECT
public:
    // Receives each line, without its line break.
    using Output = std::function<void(const QString &line)>;

    // output: by default standard error, UTF-8.
    explicit HeadlessStation(Output output = {}, QObject *parent = nullptr);
    ~HeadlessStation() override;

    // Takes the working folder chosen from workdirOption (the --workdir value; may be empty) and its lock,
    // reads the settings, opens the day and starts uploading. False, said on the output, when the
    // station cannot run there.
    bool start(const QString &workdirOption);

    // The first call stops cleanly: nothing more is queued or started, the running transfer gets the
    // stop's grace, the day's log is written, the lock is released, then finished(0). A second call
    // during the grace cuts the transfer at once (its row already reads stopped) and ends the same way.
    void stop();

    // Reads the settings again and follows them as the settings dialog's OK does (record folder,
    // automatic subfolders, filter); settings it cannot run with are refused and the old ones kept.
    void reload();

    StationParts *parts() const { return m_parts.get(); }

    // text as one line of output: line breaks joined, other control characters written as \xNN.
    static QString oneLine(const QString &text);

signals:
    void finished(int exitCode);

private:
    void say(const QString &text) const;
    // Why record (read from the settings file) cannot run the station; empty when it can.
    QString unusableSettings(SettingsRecord *record) const;
    void connectParts();
    void sayAutomaticFolders();
    void checkStopped();
    void finish();

    Output m_output;
    std::unique_ptr<StationLock> m_lock;
    std::unique_ptr<StationParts> m_parts;
    std::unique_ptr<StatusPublisher> m_status;
    StationAutomation *m_automation = nullptr;
    QTimer m_stopWatch; // while stopping: looks whether the transfer has ended
    bool m_stopping = false;
    bool m_finished = false;
};
