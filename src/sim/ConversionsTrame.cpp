#include "ConversionsTrame.h"

#include <limits>

QString ComCalculCStarvik2(const QString& ligneCde)
{
    // Each character counts as its byte value; a character past 255 (never on the wire)
    // counts as the "?" it becomes there.
    unsigned somme = 0;
    for (const QChar c : ligneCde)
        somme += c.unicode() <= 0xFF ? c.unicode() : unsigned('?');
    const unsigned complement = (256u - somme % 256u) % 256u;
    return QStringLiteral("%1").arg(complement, 2, 16, QLatin1Char('0')).toUpper();
}

qint32 HexDec(const QString& ChaineHexa)
{
    // Values past 7FFFFFFF saturate at 7FFFFFFF rather than wrap, so that a long text never
    // reads as a small or negative number.
    constexpr qint64 plafond = std::numeric_limits<qint32>::max();
    qint64 valeur = 0;
    for (const QChar c : ChaineHexa) {
        const char16_t code = c.unicode();
        int chiffre;
        if (code >= u'0' && code <= u'9')
            chiffre = code - u'0';
        else if (code >= u'A' && code <= u'F')
            chiffre = code - u'A' + 10;
        else if (code >= u'a' && code <= u'f')
            chiffre = code - u'a' + 10;
        else
            return 0;
        if (valeur < plafond)
            valeur = std::min(valeur * 16 + chiffre, plafond);
    }
    return static_cast<qint32>(valeur);
}
