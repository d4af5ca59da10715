#include "fontfallbacks.h"

#include <QFont>
#include <QStringList>

void installFontFallbacks()
{
    // Arial's width first: the pages were laid out for narrow faces.
    const QStringList sans{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                           QStringLiteral("Tahoma"), QStringLiteral("Segoe UI"),
                           QStringLiteral("DejaVu Sans")};
    for (const char* family :
         {"Brandon Text Medium", "Brandon Text Regular", "Brandon Grotesque Bold",
          "Brandon Grotesque Regular", "MS Shell Dlg 2", "MS Shell Dlg"}) {
        QFont::insertSubstitutions(QLatin1String(family), sans);
    }
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans"),
                                QStringLiteral("Tahoma")});
}
