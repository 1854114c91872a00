#include "AutomateOmron.h"

#include "ConversionsTrame.h"
#include "MoteurDefauts.h"
#include "MouvementAxes.h"
#include "Nombres.h"
#include "PanneauSimulation.h"
#include "trace/Horodatage.h"
#include "trace/LigneLongue.h"

#include <cmath>
#include <optional>

namespace {

const QChar ESC(27);
const QChar CR(13);

QString trame(const QString& donnees)
{
    return ESC + donnees + CR;
}

// A reply of positions, X then Z as 8-character fields, and a status when there is one: the
// most frequent replies, built in one text.
QString trameDePositions(QChar tag, qint64 x, qint64 z, std::optional<QChar> statut = {})
{
    QString reponse;
    reponse.reserve(20);
    reponse += ESC;
    reponse += tag;
    ajouteChampPosition(reponse, x);
    ajouteChampPosition(reponse, z);
    if (statut)
        reponse += *statut;
    reponse += CR;
    return reponse;
}

// Characters first..last of the request, counted from 1; shorter past the end of the text.
QString champ(const QString& texte, qsizetype premier, qsizetype longueur)
{
    return texte.mid(premier - 1, longueur);
}

// 128 in a homing register while the axis' homing is done.
constexpr quint32 RegistreHomingFait = 128;

quint32 registreFixe(qint64 numero)
{
    switch (numero) {
    case 5055: return 15000;
    case 5056: return 51864;
    case 5057: return 1;
    case 5083: return 14500;
    case 5084: return 48600;
    case 5085: return 0;
    case 5100: return 51;
    default: return 0;
    }
}

} // namespace

AutomateOmron::AutomateOmron(PanneauSimulation& panneau_, const Horloge& horloge_)
    : panneau(panneau_), horloge(horloge_)
{
}

QString AutomateOmron::ts() const
{
    return Horodatage(false, horloge);
}

QString AutomateOmron::traite(const QString& strData)
{
    if (strData.size() < 2 || strData.front() != ESC || strData.back() != CR)
        return {};

    const QChar commande = strData.at(1);
    const QChar tag = strData.size() > 2 ? strData.at(2) : QChar();
    switch (commande.unicode()) {
    case u'V': return version(tag);
    case u'P': return position(tag);
    case u'T': return memoGoulotte(strData, tag);
    case u'D': return deplacement(strData, tag);
    case u'Z': return homing(strData, tag);
    case u'M': return jog(strData, tag);
    case u'S': return registre(strData);
    default: return {};
    }
}

QString AutomateOmron::version(QChar tag)
{
    const QString version = QStringLiteral("version Velorin");
    panneau.AfficheMessage(ts() + QStringLiteral(" demande version firmware --> ") + version);
    return trame(tag + version);
}

QString AutomateOmron::position(QChar tag)
{
    const qint64 x = arrondiPair(valeurPosition(panneau.Lbl_PosRelleX()));
    const qint64 z = arrondiPair(valeurPosition(panneau.Lbl_PosRelleZ()));
    const AxesEnPosition en = axesEnPosition(panneau);
    const QChar statut = en.x ? (en.z ? u'a' : u'b') : (en.z ? u'c' : u'd');

    // The most frequent request of all: its line and its reply each built in one text.
    QString ligne = ts();
    ligne.reserve(ligne.size() + 64);
    ligne += QLatin1String(" demande position --> ");
    ajouteEntier(ligne, x);
    ligne += QLatin1String(" / ");
    ajouteEntier(ligne, z);
    ligne += QLatin1Char(' ');
    ligne += statut;
    panneau.AfficheMessage(ligne);
    return trameDePositions(tag, x, z, statut);
}

QString AutomateOmron::memoGoulotte(const QString& strData, QChar tag)
{
    if (champ(strData, 4, 1) != QLatin1String("P"))
        return {};

    qint64 x = 0;
    qint64 z = 0;
    if (panneau.Chk_TPnon0()) {
        // X is always drawn before Z.
        const double r1 = generateur.tirage();
        const double r2 = generateur.tirage();
        x = 20000 + static_cast<qint64>(std::floor(r1 * 10000));
        z = 25000 + static_cast<qint64>(std::floor(r2 * 10000));
    }
    panneau.AfficheMessage(ts() + QStringLiteral(" demande si memo goulotte --> ")
                           + QString::number(x) + QStringLiteral(" / ") + QString::number(z));
    return trameDePositions(tag, x, z);
}

QString AutomateOmron::deplacement(const QString& strData, QChar tag)
{
    const QString demX = champ(strData, 5, 8);
    const QString demZ = champ(strData, 13, 8);
    const auto valeurX = valeurDecimale(demX);
    const auto valeurZ = valeurDecimale(demZ);
    if (!valeurX || !valeurZ) {
        requeteIgnoree(QStringLiteral("position"), strData);
        return {};
    }

    // The demand stands even when refused: an axis starts toward it once its homing is ticked.
    panneau.setLbl_PosDemX(demX);
    panneau.setLbl_PosDemZ(demZ);

    const bool xPret = panneau.Chk_HOMING_X_ok() || *valeurX == 0;
    const bool zPret = panneau.Chk_HOMING_Z_ok() || *valeurZ == 0;
    const QString reponse = xPret && zPret ? QStringLiteral("Ok") : QStringLiteral("POM NOk");

    panneau.AfficheMessage(ts() + QStringLiteral(" demande de deplacement vers ") + demX
                           + QStringLiteral(" / ") + demZ);
    return trame(tag + reponse);
}

QString AutomateOmron::homing(const QString& strData, QChar tag)
{
    panneau.AfficheMessage(ts() + QStringLiteral(" demande de HOMING sur ") + champ(strData, 4, 1));
    return trame(tag + QStringLiteral("Ok"));
}

QString AutomateOmron::jog(const QString& strData, QChar tag)
{
    AfficheBrut(panneau, ts() + QStringLiteral(" demande JOG "), strData.mid(3),
                QStringLiteral("  --> Ok"));
    return trame(tag + QStringLiteral("Ok"));
}

QString AutomateOmron::registre(const QString& strData)
{
    const QString operation = champ(strData, 3, 1);
    if (operation != QLatin1String("R") && operation != QLatin1String("W"))
        return {};
    const auto numero = entierDecimal(champ(strData, 4, 5));
    if (!numero) {
        requeteIgnoree(QStringLiteral("registre"), strData);
        return {};
    }
    const qint64 n = *numero;

    if (operation == QLatin1String("R")) {
        quint32 valeur = registreFixe(n);
        const auto forcee = defauts != nullptr ? defauts->registre(n) : std::nullopt;
        if (forcee)
            valeur = *forcee;
        else if (n == 5014)
            valeur = panneau.Chk_HOMING_X_ok() ? RegistreHomingFait : 0;
        else if (n == 5015)
            valeur = panneau.Chk_HOMING_Z_ok() ? RegistreHomingFait : 0;
        const QString h = champRegistre(valeur);
        panneau.AfficheMessage(ts() + QStringLiteral(" READ register ") + QString::number(n)
                               + QStringLiteral(" --> ") + h);
        return trame(QStringLiteral("SR") + h);
    }

    // Registers keep nothing: a write only clears a homing flag, with the value 0.
    const qint32 v = HexDec(champ(strData, 9, 4));
    if (n == 5014 && v == 0)
        panneau.setChk_HOMING_X_ok(false);
    if (n == 5015 && v == 0)
        panneau.setChk_HOMING_Z_ok(false);
    const QString resultat = n >= 5030 ? QStringLiteral("SWOK") : QStringLiteral("SWNO");
    panneau.AfficheMessage(ts() + QStringLiteral(" WRITE register ") + QString::number(n)
                           + QStringLiteral(" = ") + QString::number(v) + QStringLiteral("  -> ")
                           + resultat);
    return trame(resultat);
}

void AutomateOmron::requeteIgnoree(const QString& champNonNumerique, const QString& strData)
{
    AfficheLisible(panneau,
                   ts() + QStringLiteral(" requete ignoree, ") + champNonNumerique
                       + QStringLiteral(" non numerique : "),
                   strData);
}
