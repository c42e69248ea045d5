#pragma once

#include <QObject>
#include <QString>
#include <functional>

class Clock;
struct SettingsRecord;

// Clears a sent file out of the upload folder: once its record is complete it moves to the completion
// folder's folder of the day, "<completion folder>YYYY-MM-DD/". A file already there under the same name
// is never replaced; the newcomer takes the first free name of "name (2).ext", "name (3).ext", ... A
// move that fails leaves the file where it is (its record stays complete) and says why.
class CompletionMover : public QObject {
    Q_OBJECT
public:
    // Moves source to target without replacing anything; an empty text on success, else the reason.
    using Mover = std::function<QString(const QString &source, const QString &target)>;

    CompletionMover(const SettingsRecord &settings, const Clock &clock, QObject *parent = nullptr);

    // Replaces the file move (tests make it fail).
    void setMover(Mover mover) { m_mover = std::move(mover); }

    // Moves fileName out of the upload folder. Returns where it went, or an empty text when it stayed.
    QString moveSentFile(const QString &fileName);

    // The first name of the "name (n).ext" series that is free in folder (fileName itself when free).
    static QString freeName(const QString &folder, const QString &fileName);

signals:
    void moved(const QString &fileName, const QString &target);
    // message: for the operator, with the paths and the reason.
    void moveFailed(const QString &message);

private:
    QString fail(const QString &fileName, const QString &folder, const QString &reason);

    const SettingsRecord &m_settings;
    const Clock &m_clock;
    Mover m_mover;
};
