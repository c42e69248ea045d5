#include "Screenshots.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWidget>

namespace Screenshots {

void require(bool ok, const QString &what) {
    if (!ok) {
        throw ShotFailed{what};
    }
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    require(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
                file.write(bytes) == bytes.size(),
            QStringLiteral("cannot write %1").arg(path));
}

void save(QWidget &window, const QString &folder, const QString &name) {
    window.show();
    require(QTest::qWaitForWindowExposed(&window), QStringLiteral("%1 was not shown").arg(name));
    QTest::qWait(500);
    const QString base = folder + u'/' + name;
    require(window.grab().save(base + QStringLiteral(".png")),
            QStringLiteral("cannot save %1.png").arg(base));
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        // The window manager's frame arrives some time after the window is shown.
        require(QTest::qWaitFor([&] { return window.frameGeometry() != window.geometry(); }, 10000),
                QStringLiteral("%1 got no frame from the window manager").arg(name));
        const QRect frame = window.frameGeometry();
        const QPixmap shot =
            window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        require(shot.save(base + QStringLiteral("-window.png")),
                QStringLiteral("cannot save %1-window.png").arg(base));
    }
}

} // namespace Screenshots
