// Scenarios and fault rules from any bytes: the bytes read as a scenario document, checked as
// the program checks one and its rules handed to the fault engine, then as the body of
// POST /faults. A set is taken whole or refused whole, naming a field of its own; the rules
// taken then decide on requests, connections and device time within their bounds, and the
// listing stays bounded.
#include "OutilsFuzz.h"
#include "controle/ScenarioLu.h"
#include "sim/HorlogeDispositif.h"
#include "sim/MoteurDefauts.h"
#include "support/PanneauFactice.h"
#include "trace/Horloge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <variant>

namespace {

void ajoute(MoteurDefauts& moteur, const QJsonValue& corps, const QString& chemin)
{
    // Rules over at once (duration_ms 0, a homing loss) are listed among those that ended.
    const qsizetype avant = moteur.liste(true).size();
    const auto ajoutees = moteur.ajoute(corps, chemin);
    if (const auto* erreur = std::get_if<RegleDefaut::Erreur>(&ajoutees)) {
        exige(moteur.liste(true).size() == avant, "un ensemble refuse n'ajoute rien",
              erreur->champ);
        exige(!erreur->raison.isEmpty(), "un refus dit pourquoi", erreur->champ);
        exige(erreur->champ.startsWith(chemin), "le champ fautif est dans le document",
              erreur->champ);
        return;
    }
    const QList<int>& ids = std::get<QList<int>>(ajoutees);
    exige(moteur.liste(true).size() == avant + ids.size(), "chaque regle prise est listee");
    exige(std::is_sorted(ids.begin(), ids.end()), "les numeros vont croissant");
}

// The rules at work: a few requests on two channels (the second one closed), a connection on
// each (the first served, the client of the second gone), and device time going on.
void exerce(MoteurDefauts& moteur, double& temps)
{
    const QString requetes[] = {QStringLiteral("\x1bP1\r"),
                                QStringLiteral("\x1b"
                                               "D100001200000003000\r"),
                                QStringLiteral("\x1bSR05014\r")};
    for (const QString& requete : requetes) {
        for (const int canal : {1, 2}) {
            const DecisionConnexion connexion = moteur.connexion(canal);
            for (const DecisionConnexion::Regle& r : connexion.regles) {
                if (canal == 1)
                    moteur.fait(r);
                else
                    moteur.pasFait(r);
            }
            const DecisionReponse d = moteur.requete(canal, requete, canal == 1);
            exige(d.delaiMs >= 0 && d.delaiMs <= MoteurDefauts::DelaiMaxMs,
                  "un delai reste dans ses bornes", QString::number(d.delaiMs));
            const QString reponse = d.transforme(QStringLiteral("/105000A\r"));
            exige(std::all_of(reponse.begin(), reponse.end(),
                              [](QChar c) { return c.unicode() <= 0xFF; }),
                  "une reponse reste faite d'octets", reponse);
        }
        temps += 250;
        moteur.temps();
        moteur.fractionPas(QLatin1Char('X'));
        moteur.arret(QLatin1Char('Z'));
        moteur.registre(5014);
    }
}

void verifieListe(MoteurDefauts& moteur)
{
    exige(moteur.liste().size() <= MoteurDefauts::ReglesMax, "les regles en vigueur sont bornees");
    const QJsonArray toutes = moteur.liste(true);
    exige(toutes.size() <= MoteurDefauts::ReglesMax + MoteurDefauts::FiniesMax,
          "les regles finies sont bornees");
    for (const auto& v : toutes) {
        const QJsonObject regle = v.toObject();
        const qsizetype tirs = regle.value(QStringLiteral("firings")).toArray().size();
        exige(tirs <= MoteurDefauts::HistoriqueMax
                  && regle.value(QStringLiteral("fired")).toInteger() >= tirs,
              "l'historique d'une regle est borne et compte", QString::number(tirs));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (document.isNull())
        return 0;
    PanneauFactice panneau;
    double temps = 0;
    MoteurDefauts moteur(
        panneau, panneau, [&temps] { return temps; }, HorlogeSysteme::instance());

    if (document.isObject()) {
        const auto lu = ScenarioLu::lit(document.object());
        if (const auto* scenario = std::get_if<ScenarioLu>(&lu)) {
            exige(!scenario->horloge || !ScenarioLu::verifieHorloge(*scenario->horloge, {}),
                  "une horloge prise est valide");
            exige(!scenario->homingMs
                      || (*scenario->homingMs >= 0
                          && *scenario->homingMs <= HorlogeDispositif::AvanceMaxMs),
                  "le delai du homing est borne");
            if (scenario->graine)
                moteur.graine(*scenario->graine);
            if (scenario->fautes)
                ajoute(moteur, *scenario->fautes, QStringLiteral("faults"));
        } else {
            exige(!std::get<ScenarioLu::Refus>(lu).raison.isEmpty(), "un refus dit pourquoi");
        }
    }
    ajoute(moteur,
           document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object()), {});
    exerce(moteur, temps);
    verifieListe(moteur);
    return 0;
}
