#include "Scenario.h"

#include "ChampsControle.h"
#include "Route.h"
#include "app/Appareil.h"
#include "sim/HorlogeDispositif.h"
#include "trace/Horloge.h"
#include "trace/Horodatage.h"
#include "trace/SortieMessages.h"

#include <QStringList>

#include <cmath>

namespace {

QString champ(const QString& chemin, const QString& nom)
{
    return chemin.isEmpty() ? nom : chemin + QLatin1Char('.') + nom;
}

// The first member of `objet` not in `connus`, named under `chemin`.
std::optional<Scenario::Refus> inconnu(const QJsonObject& objet, const QStringList& connus,
                                       const QString& chemin)
{
    for (auto it = objet.begin(); it != objet.end(); ++it) {
        if (!connus.contains(it.key()))
            return Scenario::Refus{champ(chemin, it.key()), QStringLiteral("unknown field"),
                                   QStringLiteral("unknown_field")};
    }
    return std::nullopt;
}

} // namespace

std::optional<Scenario::Refus> Scenario::verifieHorloge(const QJsonObject& horloge,
                                                        const QString& chemin)
{
    if (auto refus = inconnu(horloge, {QStringLiteral("speed"), QStringLiteral("mode")}, chemin))
        return refus;
    const bool vitesse = horloge.contains(QStringLiteral("speed"));
    if (vitesse == horloge.contains(QStringLiteral("mode")))
        return Refus{vitesse ? champ(chemin, QStringLiteral("mode")) : chemin,
                     QStringLiteral("either speed or mode is expected"),
                     QStringLiteral("bad_combination")};
    if (vitesse) {
        const QJsonValue v = horloge.value(QStringLiteral("speed"));
        const double n = v.toDouble();
        if (!v.isDouble() || !std::isfinite(n))
            return Refus{champ(chemin, QStringLiteral("speed")),
                         QStringLiteral("a number is expected"), QStringLiteral("wrong_type")};
        if (n < 0 || n > HorlogeDispositif::FacteurMax)
            return Refus{champ(chemin, QStringLiteral("speed")),
                         QStringLiteral("from 0 to %1").arg(HorlogeDispositif::FacteurMax),
                         QStringLiteral("out_of_range")};
        return std::nullopt;
    }
    const QString mode = horloge.value(QStringLiteral("mode")).toString();
    if (mode != QLatin1String("real") && mode != QLatin1String("step"))
        return Refus{champ(chemin, QStringLiteral("mode")),
                     QStringLiteral("real or step is expected")};
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
    if (auto refus = inconnu(document,
                             {QStringLiteral("state"), QStringLiteral("clock"),
                              QStringLiteral("seed"), QStringLiteral("framing"),
                              QStringLiteral("auto_homing"), QStringLiteral("faults")},
                             {}))
        return refus;
    const auto objet = [&](const char* nom) -> std::optional<Refus> {
        const QJsonValue v = document.value(QLatin1String(nom));
        if (!v.isUndefined() && !v.isObject())
            return Refus{QLatin1String(nom), QStringLiteral("an object is expected"),
                         QStringLiteral("wrong_type")};
        return std::nullopt;
    };
    for (const char* nom : {"state", "clock", "auto_homing"}) {
        if (auto refus = objet(nom))
            return refus;
    }
    const QJsonObject etat = document.value(QStringLiteral("state")).toObject();
    if (const auto faute = champs.verifie(etat))
        return Refus{champ(QStringLiteral("state"), faute->champ), faute->raison, faute->code};
    const bool horloge = document.contains(QStringLiteral("clock"));
    const QJsonObject reglage = document.value(QStringLiteral("clock")).toObject();
    if (horloge) {
        if (auto refus = verifieHorloge(reglage, QStringLiteral("clock")))
            return refus;
    }
    std::optional<quint64> graine;
    if (document.contains(QStringLiteral("seed"))) {
        const QJsonValue v = document.value(QStringLiteral("seed"));
        if (!graineValide(v))
            return Refus{QStringLiteral("seed"),
                         QStringLiteral("a whole number from 0 to 2^53 is expected")};
        graine = quint64(v.toDouble());
    }
    std::optional<bool> trames;
    if (document.contains(QStringLiteral("framing"))) {
        const QString decoupage = document.value(QStringLiteral("framing")).toString().toUpper();
        if (decoupage != QLatin1String("CR") && decoupage != QLatin1String("NONE"))
            return Refus{QStringLiteral("framing"), QStringLiteral("CR or none is expected")};
        trames = decoupage == QLatin1String("CR");
    }
    std::optional<std::optional<double>> homing;
    if (document.contains(QStringLiteral("auto_homing"))) {
        const QJsonObject reglageHoming = document.value(QStringLiteral("auto_homing")).toObject();
        if (auto refus =
                inconnu(reglageHoming, {QStringLiteral("delay_ms")}, QStringLiteral("auto_homing")))
            return refus;
        const QJsonValue delai = reglageHoming.value(QStringLiteral("delay_ms"));
        if (!delai.isUndefined()
            && (!delai.isDouble() || delai.toDouble() < 0
                || delai.toDouble() > HorlogeDispositif::AvanceMaxMs))
            return Refus{QStringLiteral("auto_homing.delay_ms"),
                         QStringLiteral("a time in ms, up to a day, is expected")};
        homing = std::optional<double>(delai.isUndefined() ? 0.0 : delai.toDouble());
    }
    // The rules last: they are taken whole or not at all, and nothing came before them.
    MoteurDefauts& defauts = appareil.defauts();
    QList<int> ids;
    if (document.contains(QStringLiteral("faults"))) {
        if (!document.value(QStringLiteral("faults")).isArray())
            return Refus{QStringLiteral("faults"), QStringLiteral("a list is expected"),
                         QStringLiteral("wrong_type")};
        auto ajoutees =
            defauts.ajoute(document.value(QStringLiteral("faults")), QStringLiteral("faults"));
        if (auto* erreur = std::get_if<RegleDefaut::Erreur>(&ajoutees))
            return Refus{erreur->champ, erreur->raison, erreur->code};
        ids = std::get<QList<int>>(ajoutees);
    }

    if (trames)
        appareil.setTramesParCR(*trames);
    if (graine)
        defauts.graine(*graine);
    if (horloge)
        appliqueHorloge(reglage, appareil.horloge());
    if (homing)
        appareil.homingAutomatique().regle(*homing);
    // One line says what the scenario set, whoever applied it.
    QStringList fait;
    const QString changes = champs.applique(etat);
    if (!changes.isEmpty())
        fait << changes;
    if (trames)
        fait << (*trames ? QStringLiteral("requêtes découpées au CR")
                         : QStringLiteral("une requête par arrivée"));
    if (graine)
        fait << QStringLiteral("graine %1").arg(*graine);
    if (homing)
        fait << QStringLiteral("homing automatique après %1 ms").arg(homing->value_or(0));
    if (!ids.isEmpty())
        fait << QStringLiteral("%1 règle(s) de défaut").arg(ids.size());
    journal.AfficheMessage(
        Horodatage(false, HorlogeSysteme::instance()) + QStringLiteral(" scénario appliqué")
        + (fait.isEmpty() ? QString() : QStringLiteral(" : ") + fait.join(QStringLiteral(", "))));
    return std::nullopt;
}
