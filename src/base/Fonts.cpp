#include "base/Fonts.h"

#include <QStringList>

namespace base {

QFont interfaceFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                   QStringLiteral("Sans Serif")});
    f.setPixelSize(12);
    return f;
}

QFont narrowGridFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("Monospace")});
    f.setPixelSize(10);
    return f;
}

} // namespace base
