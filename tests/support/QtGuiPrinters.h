#pragma once

// Lets GoogleTest print Qt's colours and geometry readably in failure messages (tests that link
// Qt GUI).
#include "QtPrinters.h"

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

inline void PrintTo(const QColor& c, std::ostream* os) { *os << c.name(QColor::HexArgb).toStdString(); }
inline void PrintTo(const QPoint& p, std::ostream* os) { *os << '(' << p.x() << ", " << p.y() << ')'; }
inline void PrintTo(const QSize& s, std::ostream* os) { *os << s.width() << " x " << s.height(); }
inline void PrintTo(const QRect& r, std::ostream* os)
{
    *os << '(' << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ')';
}
