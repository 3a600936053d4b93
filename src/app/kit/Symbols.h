#pragma once

#include "core/model/NodeKind.h"

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace quorilanth {

// The small icon set of the window, drawn with painter paths so that it needs
// no image files and stays sharp at every size. Names are the symbol names the
// views ask for ("globe", "folder", "server.rack", ...); an unknown name draws
// an empty image rather than failing.
class Symbols {
public:
    static QPixmap pixmap(const QString& name, const QColor& color, int pixelSize,
                          qreal devicePixelRatio = 1.0);
    static QIcon icon(const QString& name, const QColor& color, int pixelSize = 16);
    static bool has(const QString& name);
    // The one symbol of each kind of observation, wherever a kind is shown.
    static QString kind(NodeKind kind);
    static QStringList names();
};

} // namespace quorilanth
