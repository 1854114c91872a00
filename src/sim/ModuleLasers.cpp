#include "ModuleLasers.h"

#include "ConversionsTrame.h"
#include "Nombres.h"
#include "PanneauSimulation.h"
#include "trace/Horodatage.h"
#include "trace/LigneLongue.h"

namespace {

const QChar ESC(27);
const QChar CR(13);

// Characters first..first+longueur-1 of the request, counted from 1; empty past the end.
QString car(const QString& texte, qsizetype position, qsizetype longueur = 1)
{
    return texte.mid(position - 1, longueur);
}

QString seuil(const QString& champ)
{
    return texteDecimal(valeurSouple(champ), true);
}

} // namespace

ModuleLasers::ModuleLasers(PanneauSimulation& panneau_, const Horloge& horloge_)
    : panneau(panneau_), horloge(horloge_)
{
}

QString ModuleLasers::traite(const QString& strData)
{
    const qsizetype n = strData.size();
    if (n < 2 || strData.front() != ESC || strData.back() != CR)
        return {};

    const QString ts = Horodatage(false, horloge);
    // Too short for a checksum (ESC CR, ESC x CR): shown as a checksum error on an empty body.
    const QString corps = n >= 4 ? strData.mid(1, n - 4) : QString();
    const QString recu = n >= 4 ? strData.mid(n - 3, 2) : QString();
    const QString calcule = ComCalculCStarvik2(corps);
    if (n < 4 || recu != calcule) {
        panneau.AfficheMessage(ts + QStringLiteral(" erreur de checksum"));
        panneau.AfficheMessage(QStringLiteral("   check sum calculer = ") + calcule);
        AfficheLisible(panneau, QStringLiteral("   chaine recu = "), strData);
        return {};
    }

    const QString c3 = car(strData, 3);
    const QString c5 = car(strData, 5);
    const QString c6 = car(strData, 6);
    const QString laser = QStringLiteral("laser n° ") + c5;
    QString payload;
    QString ligne;
    switch (strData.at(1).unicode()) {
    case u'V':
        payload = c3 + QStringLiteral("version Simulation module Lasers");
        ligne = QStringLiteral(" demande version -> ");
        break;
    case u'C':
        payload = c3 + QStringLiteral("240");
        ligne = QStringLiteral(" demande tension alim -> ");
        break;
    case u'Q':
        payload = c3 + QStringLiteral("OK");
        ligne = QStringLiteral(" demande RESET mode ") + c5 + QStringLiteral(" -> ");
        break;
    case u'X':
        payload = c3 + QStringLiteral("OK");
        ligne = QStringLiteral(" demande ") + laser + QStringLiteral(" on/off=") + c6
                + QStringLiteral(" -> ");
        break;
    case u'G':
        payload = c3 + QStringLiteral("OK");
        ligne = QStringLiteral(" active mode detect ") + laser + QStringLiteral(" min=")
                + seuil(car(strData, 6, 4)) + QStringLiteral(" max=") + seuil(car(strData, 10, 4))
                + QStringLiteral(" -> ");
        break;
    case u'g':
        payload = c3 + QStringLiteral("00");
        ligne = QStringLiteral(" lecture detect -> ");
        break;
    case u'M': {
        // The value goes out as the bytes the wire will carry, so its checksum matches them.
        const QString valeur = QString::fromLatin1(panneau.Txt_ValeurLu().toLatin1());
        payload = c3 + (QStringLiteral("0000") + valeur).right(4);
        ligne = QStringLiteral(" lecture mesure ") + laser + QStringLiteral(" -> ");
        break;
    }
    case u'Y':
        payload = c3 + QStringLiteral("OK");
        ligne = QStringLiteral(" renome carte -> ");
        break;
    default: return {};
    }

    panneau.AfficheMessage(ts + ligne + payload);
    return QLatin1Char('/') + payload + ComCalculCStarvik2(payload) + CR;
}
