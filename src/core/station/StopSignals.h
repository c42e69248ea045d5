#pragma once

#include <QObject>
#include <memory>

// The requests the system makes of a station without a window, delivered on the event loop: end
// (SIGTERM, SIGINT; on Windows the console's Ctrl+C, Ctrl+Break and close) and read the settings again
// (SIGHUP). A handler only wakes the loop; everything else happens there.
class StopSignals : public QObject {
    Q_OBJECT
public:
    enum class Request { Stop, Reload };

    explicit StopSignals(QObject *parent = nullptr);
    // Gives the signals back to the system's default handling.
    ~StopSignals() override;

    // False, with *error saying why, when the handlers could not be installed. One object per process.
    bool install(QString *error);

signals:
    void requested(StopSignals::Request request);

private:
    struct Platform;
    std::unique_ptr<Platform> m_platform;
};
