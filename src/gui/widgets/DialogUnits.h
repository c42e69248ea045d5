#pragma once

#include <QFont>
#include <QRect>

// Dialog layouts are given in dialog units: a quarter of the dialog font's average character width
// across, an eighth of its height down. Converting through the font keeps a dialog right at the
// platform's font size.
class DialogUnits {
public:
    explicit DialogUnits(const QFont &font);

    int x(int units) const;
    int y(int units) const;
    QRect rect(int left, int top, int width, int height) const;

private:
    double m_baseX = 0;
    double m_baseY = 0;
};
