#pragma once

#include <QString>

// Two upper-case hexadecimal digits that bring the byte sum of the text to a multiple of 256.
QString ComCalculCStarvik2(const QString& ligneCde);

// Reads hexadecimal digits of either case; 0 for an empty text or for any other character.
qint32 HexDec(const QString& ChaineHexa);
