#include "Scenario.h"

#include "ChampsControle.h"
#include "Route.h"
#include "ScenarioLu.h"
#include "app/Appareil.h"
#include "sim/HorlogeDispositif.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

#include <QStringList>

std::optional<Scenario::Refus> Scenario::verifieHorloge(const QJsonObject& horloge,
                                                        const QString& chemin)
{
    if (auto refus = ScenarioLu::verifieHorloge(horloge, chemin))
        return Refus{refus->champ, refus->raison, refus->code};
    return std::nullopt;
}

void Scenario::appliqueHorloge(const QJsonObject& horloge, HorlogeDispositif& dispositif)
{
    if (horloge.contains(QStringLiteral("speed")))
        dispositif.echelle(horloge.value(QStringLiteral("speed")).toDouble());
    else if (horloge.value(QStringLiteral("mode")) == QLatin1String("step"))
        dispositif.pasAPas();
    else
        dispositif.tempsReel();
}

std::optional<Scenario::Refus> Scenario::applique(const QJsonObject& document)
{
    // Checked whole first.
    auto lecture = ScenarioLu::lit(
        document, [this](const QJsonObject& etat) -> std::optional<ScenarioLu::Refus> {
            if (const auto faute = champs.verifie(etat))
                return ScenarioLu::Refus{QStringLiteral("state.") + faute->champ, faute->raison,
                                         faute->code};
            return std::nullopt;
        });
    if (const auto* refus = std::get_if<ScenarioLu::Refus>(&lecture))
        return Refus{refus->champ, refus->raison, refus->code};
    const ScenarioLu& lu = std::get<ScenarioLu>(lecture);
    // The rules last: they are taken whole or not at all, and nothing came before them.
    MoteurDefauts& defauts = appareil.defauts();
    QList<int> ids;
    if (lu.fautes) {
        auto ajoutees = defauts.ajoute(*lu.fautes, QStringLiteral("faults"));
        if (auto* erreur = std::get_if<RegleDefaut::Erreur>(&ajoutees))
            return Refus{erreur->champ, erreur->raison, erreur->code};
        ids = std::get<QList<int>>(ajoutees);
    }

    if (lu.tramesParCR)
        appareil.setTramesParCR(*lu.tramesParCR);
    if (lu.graine)
        defauts.graine(*lu.graine);
    if (lu.horloge)
        appliqueHorloge(*lu.horloge, appareil.horloge());
    if (lu.homingMs)
        appareil.homingAutomatique().regle(*lu.homingMs);
    // One line says what the scenario set, whoever applied it.
    QStringList fait;
    const QString changes = champs.applique(lu.etat);
    if (!changes.isEmpty())
        fait << changes;
    if (lu.tramesParCR)
        fait << (*lu.tramesParCR ? QStringLiteral("requêtes découpées au CR")
                                 : QStringLiteral("une requête par arrivée"));
    if (lu.graine)
        fait << QStringLiteral("graine %1").arg(*lu.graine);
    if (lu.homingMs)
        fait << QStringLiteral("homing automatique après %1 ms").arg(*lu.homingMs);
    if (!ids.isEmpty())
        fait << QStringLiteral("%1 règle(s) de défaut").arg(ids.size());
    journal.AfficheMessage(
        Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" scénario appliqué")
        + (fait.isEmpty() ? QString() : QStringLiteral(" : ") + fait.join(QStringLiteral(", "))));
    return std::nullopt;
}
