#include "Horodatage.h"

#include "Horloge.h"

QString Horodatage(bool AvecJour, const Horloge& horloge)
{
    QString resultat;
    if (AvecJour) {
        const QDate jour = horloge.dateDuJour();
        resultat = jour.toString(QStringLiteral("dd-MM-yyyy")) + QLatin1Char(' ');
    }
    resultat += horloge.heureDuJour().toString(QStringLiteral("HH:mm:ss"));

    // The tenths digit is read from a separate clock read, printed with at most 7 significant
    // digits: at a second boundary it may belong to the next second, as the operator has always
    // seen it. QString::number ignores the locale, so the point is always ".".
    const QString secondes = QString::number(double(horloge.secondesDepuisMinuit()), 'g', 7);
    const qsizetype point = secondes.indexOf(QLatin1Char('.'));
    if (point >= 0 && point + 1 < secondes.size())
        resultat += QLatin1Char('.') + secondes.at(point + 1);
    else
        resultat += QStringLiteral(".0");
    return resultat;
}
