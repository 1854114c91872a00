#pragma once

#include <QString>

#include <optional>

// A decimal number as a host writes it in a request: blanks around, an optional sign, digits,
// an optional fraction. Nothing else is a number.
std::optional<double> valeurDecimale(const QString& texte);

// The same, without a fraction.
std::optional<qint64> entierDecimal(const QString& texte);

// Lenient reading of a threshold: blanks ignored anywhere, a sign, a decimal point, an exponent,
// "&H" or "&O" prefixes; reading stops at the first character that cannot continue the number,
// and a text that does not start with one reads as 0.
double valeurSouple(const QString& texte);

// Plain decimal text of a number: no leading zeros, "-" when negative, a fraction only when
// there is one. fractionLocale writes that fraction with the system's decimal separator.
QString texteDecimal(double valeur, bool fractionLocale = false);

// Nearest integer, halves to the even neighbour.
qint64 arrondiPair(double valeur);

// The last 8 characters of "00000000" followed by the decimal text: 12000 -> 00012000,
// -2000 -> 000-2000.
QString champPosition(qint64 valeur);

// champPosition and the decimal text of an integer, appended to a text: what a reply or a log
// line is built of on every request, without a text of its own for each piece.
void ajouteChampPosition(QString& texte, qint64 valeur);
void ajouteEntier(QString& texte, qint64 valeur);

// The last 4 characters of "0000" followed by the upper-case hexadecimal text: 51 -> 0033.
QString champRegistre(quint32 valeur);
