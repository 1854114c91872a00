#include "Horodatage.h"

#include "Horloge.h"

namespace {

QString composeHorodatage(const QDate& jour, const QTime& heure, float secondesDepuisMinuit)
{
    QString resultat;
    if (jour.isValid())
        resultat = jour.toString(QStringLiteral("dd-MM-yyyy")) + QLatin1Char(' ');
    resultat += heure.toString(QStringLiteral("HH:mm:ss"));

    // The tenths digit is read from a separate clock read, printed with at most 7 significant
    // digits: at a second boundary it may belong to the next second, as the operator has always
    // seen it. QString::number ignores the locale, so the point is always ".".
    const QString secondes = QString::number(double(secondesDepuisMinuit), 'g', 7);
    const qsizetype point = secondes.indexOf(QLatin1Char('.'));
    if (point >= 0 && point + 1 < secondes.size())
        resultat += QLatin1Char('.') + secondes.at(point + 1);
    else
        resultat += QStringLiteral(".0");
    return resultat;
}

} // namespace

QString Horodatage(bool AvecJour, const Horloge& horloge)
{
    const QDate jour = AvecJour ? horloge.dateDuJour() : QDate();
    const QTime heure = horloge.heureDuJour();
    const float secondes = horloge.secondesDepuisMinuit();

    // Under load many lines fall within the same millisecond: their stamp is made once and
    // shared, rather than formatted again for each.
    struct Dernier
    {
        QDate jour;
        QTime heure;
        float secondes = -1;
        QString texte;
    };
    thread_local Dernier dernier;
    if (jour != dernier.jour || heure != dernier.heure || secondes != dernier.secondes)
        dernier = {jour, heure, secondes, composeHorodatage(jour, heure, secondes)};
    return dernier.texte;
}
