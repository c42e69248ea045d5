#include "core/station/StationStatus.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

const QString kStateKeys[] = {QStringLiteral("idle"), QStringLiteral("uploading"),
                              QStringLiteral("stopping")};

QJsonValue timeValue(const QDateTime &time) {
    // With its offset from UTC, so a reader elsewhere (or after a change of time zone) reads the same moment.
    return time.isValid() ? QJsonValue(time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate))
                          : QJsonValue();
}

QJsonValue textValue(const QString &text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QDateTime timeOf(const QJsonValue &value) {
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

} // namespace

QString StationStatus::stateKey(State state) {
    return kStateKeys[static_cast<int>(state)];
}

QString StationStatus::stateText(State state) {
    const QString texts[] = {QStringLiteral("空闲"), QStringLiteral("正在上传"), QStringLiteral("正在停止")};
    return texts[static_cast<int>(state)];
}

QByteArray StationStatus::toJson() const {
    QJsonObject sending;
    if (!sendingFile.isEmpty()) {
        sending = {{QStringLiteral("file"), sendingFile},
                   {QStringLiteral("bytesDone"), double(bytesDone)},
                   {QStringLiteral("bytesTotal"), double(bytesTotal)},
                   {QStringLiteral("bytesPerSecond"), bytesPerSecond}};
    }
    QJsonObject fault;
    if (!faultFile.isEmpty()) {
        fault = {{QStringLiteral("file"), faultFile},
                 {QStringLiteral("reason"), faultReason},
                 {QStringLiteral("time"), timeValue(faultTime)}};
    }
    const QJsonObject object{
        {QStringLiteral("pid"), double(pid)},
        {QStringLiteral("started"), timeValue(started)},
        {QStringLiteral("kind"), kind},
        {QStringLiteral("state"), stateKey(state)},
        {QStringLiteral("stateText"), stateText(state)},
        {QStringLiteral("sending"), sending.isEmpty() ? QJsonValue() : QJsonValue(sending)},
        {QStringLiteral("waiting"), waiting},
        {QStringLiteral("sentToday"), sentToday},
        {QStringLiteral("failedToday"), failedToday},
        {QStringLiteral("lastFault"), fault.isEmpty() ? QJsonValue() : QJsonValue(fault)},
        {QStringLiteral("recordingFailure"), textValue(recordingFailure)},
        {QStringLiteral("scannerDown"), textValue(scannerDown)},
        {QStringLiteral("written"), timeValue(written)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

bool StationStatus::fromJson(const QByteArray &bytes, StationStatus *status, QString *error) {
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (!document.isObject()) {
        *error =
            parse.error != QJsonParseError::NoError ? parse.errorString() : QStringLiteral("not an object");
        return false;
    }
    const QJsonObject object = document.object();
    StationStatus read;
    read.pid = qint64(object.value(QStringLiteral("pid")).toDouble());
    const QString state = object.value(QStringLiteral("state")).toString();
    bool known = false;
    for (int i = 0; i < 3; ++i) {
        if (state == kStateKeys[i]) {
            read.state = static_cast<State>(i);
            known = true;
        }
    }
    read.written = timeOf(object.value(QStringLiteral("written")));
    if (read.pid <= 0 || !known || !read.written.isValid()) {
        *error = QStringLiteral("no pid, state or time of writing");
        return false;
    }
    read.started = timeOf(object.value(QStringLiteral("started")));
    read.kind = object.value(QStringLiteral("kind")).toString();
    const QJsonObject sending = object.value(QStringLiteral("sending")).toObject();
    read.sendingFile = sending.value(QStringLiteral("file")).toString();
    read.bytesDone = quint64(qMax(0.0, sending.value(QStringLiteral("bytesDone")).toDouble()));
    read.bytesTotal = quint64(qMax(0.0, sending.value(QStringLiteral("bytesTotal")).toDouble()));
    read.bytesPerSecond = sending.value(QStringLiteral("bytesPerSecond")).toDouble();
    read.waiting = object.value(QStringLiteral("waiting")).toInt();
    read.sentToday = object.value(QStringLiteral("sentToday")).toInt();
    read.failedToday = object.value(QStringLiteral("failedToday")).toInt();
    const QJsonObject fault = object.value(QStringLiteral("lastFault")).toObject();
    read.faultFile = fault.value(QStringLiteral("file")).toString();
    read.faultReason = fault.value(QStringLiteral("reason")).toString();
    read.faultTime = timeOf(fault.value(QStringLiteral("time")));
    read.recordingFailure = object.value(QStringLiteral("recordingFailure")).toString();
    read.scannerDown = object.value(QStringLiteral("scannerDown")).toString();
    *status = read;
    return true;
}
