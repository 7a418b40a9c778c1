#pragma once

// Readable test messages for Qt geometry values (found by argument-dependent
// lookup, hence in the global namespace like the Qt types).

#include <ostream>

#include <QPoint>
#include <QPointF>
#include <QSize>

inline std::ostream& operator<<(std::ostream& os, const QPoint& p)
{
    return os << "(" << p.x() << ", " << p.y() << ")";
}

inline std::ostream& operator<<(std::ostream& os, const QPointF& p)
{
    return os << "(" << p.x() << ", " << p.y() << ")";
}

inline std::ostream& operator<<(std::ostream& os, const QSize& s)
{
    return os << s.width() << " x " << s.height();
}
