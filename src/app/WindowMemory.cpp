#include "app/WindowMemory.h"

#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QWidget>
#include <algorithm>
#include <limits>
#include <optional>

namespace {

const QString kGroup = QStringLiteral("Window");
const QString kGeometry = QStringLiteral("Geometry");
const QString kMaximized = QStringLiteral("Maximized");

// Smaller than this the window is of no use: a saved size below it is taken for damage.
constexpr int kMinWidth = 320;
constexpr int kMinHeight = 240;
// How much of the caption must lie on a screen for the operator to grasp it and move the window.
constexpr int kGrip = 100;
// A column this wide or wider is taken for damage.
constexpr int kMaxColumnWidth = 4000;

// A list of numbers as the file keeps it ("320, 160"); nothing when any item is not a number in range.
std::optional<QList<int>> numbers(const QVariant &value, int count, int lowest, int highest) {
    const QStringList items = value.toStringList();
    if (items.size() != count) {
        return std::nullopt;
    }
    QList<int> list;
    for (const QString &item : items) {
        bool ok = false;
        const int number = item.trimmed().toInt(&ok);
        if (!ok || number < lowest || number > highest) {
            return std::nullopt;
        }
        list.append(number);
    }
    return list;
}

QStringList texts(const QList<int> &list) {
    QStringList items;
    for (const int number : list) {
        items.append(QString::number(number));
    }
    return items;
}

QList<QRect> availableScreens() {
    QList<QRect> areas;
    for (const QScreen *screen : QGuiApplication::screens()) {
        areas.append(screen->availableGeometry());
    }
    return areas;
}

QRect primaryArea() {
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

} // namespace

WindowMemory::WindowMemory(const QString &workFolder) : m_path(QDir(workFolder).filePath(kFileName)) {}

void WindowMemory::track(QSplitter *splitter) {
    m_splitters.append(splitter);
}

void WindowMemory::track(QTableView *table) {
    m_tables.append(table);
}

bool WindowMemory::restoreWindow(QWidget *window) const {
    QSettings file(m_path, QSettings::IniFormat);
    file.beginGroup(kGroup);
    const QRect geometry = usableGeometry(file.value(kGeometry).toRect(), availableScreens());
    if (geometry.isEmpty()) {
        window->setGeometry(firstStartGeometry(primaryArea()));
        return false;
    }
    window->setGeometry(geometry);
    return file.value(kMaximized).toBool();
}

bool WindowMemory::restorePanes() const {
    QSettings file(m_path, QSettings::IniFormat);
    file.beginGroup(kGroup);
    bool restored = false;
    for (QSplitter *splitter : m_splitters) {
        const auto sizes = numbers(file.value(QStringLiteral("Splitters/") + splitter->objectName()),
                                   splitter->count(), 1, std::numeric_limits<int>::max());
        if (sizes) {
            // Taken as weights: the panes keep these proportions at whatever size the window has.
            splitter->setSizes(*sizes);
            restored = true;
        }
    }
    for (QTableView *table : m_tables) {
        const int count = table->horizontalHeader()->count();
        const auto widths =
            numbers(file.value(QStringLiteral("Columns/") + table->objectName()), count, 0, kMaxColumnWidth);
        if (!widths) {
            continue;
        }
        for (int column = 0; column < count; ++column) {
            // A hidden column is saved as 0 wide and keeps the width it has.
            if (widths->at(column) > 0) {
                table->setColumnWidth(column, widths->at(column));
            }
        }
    }
    return restored;
}

bool WindowMemory::restoreGeometry(QWidget *window) const {
    QSettings file(m_path, QSettings::IniFormat);
    file.beginGroup(kGroup);
    const QRect geometry = usableGeometry(
        file.value(window->objectName() + QLatin1Char('/') + kGeometry).toRect(), availableScreens());
    if (geometry.isEmpty()) {
        return false;
    }
    window->setGeometry(geometry);
    return true;
}

void WindowMemory::save(const QWidget *window) const {
    QSettings file(m_path, QSettings::IniFormat);
    file.beginGroup(kGroup);
    // A maximised window keeps the place it goes back to when it is restored.
    if (window->normalGeometry().isValid()) {
        file.setValue(kGeometry, window->normalGeometry());
    }
    file.setValue(kMaximized, window->isMaximized());
    for (const QSplitter *splitter : m_splitters) {
        file.setValue(QStringLiteral("Splitters/") + splitter->objectName(), texts(splitter->sizes()));
    }
    for (const QTableView *table : m_tables) {
        QList<int> widths;
        for (int column = 0; column < table->horizontalHeader()->count(); ++column) {
            widths.append(table->isColumnHidden(column) ? 0 : table->columnWidth(column));
        }
        file.setValue(QStringLiteral("Columns/") + table->objectName(), texts(widths));
    }
}

void WindowMemory::saveGeometry(const QWidget *window) const {
    QSettings file(m_path, QSettings::IniFormat);
    file.beginGroup(kGroup);
    file.setValue(window->objectName() + QLatin1Char('/') + kGeometry, window->normalGeometry());
}

QRect WindowMemory::firstStartGeometry(const QRect &available) {
    QRect geometry(0, 0, available.width() * 4 / 5, available.height() * 4 / 5);
    geometry.moveCenter(available.center());
    return geometry;
}

QRect WindowMemory::usableGeometry(const QRect &saved, const QList<QRect> &screens) {
    if (!saved.isValid() || saved.width() < kMinWidth || saved.height() < kMinHeight) {
        return {};
    }
    for (const QRect &screen : screens) {
        const int captionOnScreen =
            std::min(saved.right(), screen.right()) - std::max(saved.left(), screen.left()) + 1;
        if (saved.top() < screen.top() || saved.top() > screen.bottom() - kGrip || captionOnScreen < kGrip) {
            continue;
        }
        // Saved on a larger screen: as large as this one allows, and wholly on it.
        QRect fitted = saved;
        fitted.setSize(saved.size().boundedTo(screen.size()));
        fitted.moveLeft(std::clamp(fitted.left(), screen.left(), screen.right() + 1 - fitted.width()));
        fitted.moveTop(std::min(fitted.top(), screen.bottom() + 1 - fitted.height()));
        return fitted;
    }
    return {};
}

void WindowMemory::fitColumns(QTableView *table) {
    QHeaderView *header = table->horizontalHeader();
    const int room = table->viewport()->width();
    int total = 0;
    for (int column = 0; column < header->count(); ++column) {
        total += header->isSectionHidden(column) ? 0 : header->sectionSize(column);
    }
    if (total <= room || total == 0) {
        return;
    }
    for (int column = 0; column < header->count(); ++column) {
        const int width = header->sectionSize(column);
        const int share = int(qint64(width) * room / total);
        table->setColumnWidth(column, std::min(width, std::max(share, header->sectionSizeHint(column))));
    }
}
