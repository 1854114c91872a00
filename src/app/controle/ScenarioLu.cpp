#include "ScenarioLu.h"

#include "app/LigneCommande.h"
#include "sim/HorlogeDispositif.h"
#include "sim/MoteurDefauts.h"
#include "trace/MembreInconnu.h"
#include "trace/ValeursCles.h"

#include <QStringList>

#include <cmath>

namespace {

QString champ(const QString& chemin, const QString& nom)
{
    return chemin.isEmpty() ? nom : chemin + QLatin1Char('.') + nom;
}

// The members of a scenario: those of its own, and the command line's keys it also sets.
const QStringList& membresConnus()
{
    static const QStringList connus = [] {
        QStringList membres = {QStringLiteral("state"), QStringLiteral("auto_homing"),
                               QStringLiteral("faults")};
        for (const CleLigneCommande& cle : clesLigneCommande()) {
            if (cle.scenario)
                membres << QLatin1String(cle.scenario);
        }
        return membres;
    }();
    return connus;
}

} // namespace

std::optional<ScenarioLu::Refus> ScenarioLu::verifieHorloge(const QJsonObject& horloge,
                                                            const QString& chemin)
{
    if (const auto inconnu =
            membreInconnu(horloge, {QStringLiteral("speed"), QStringLiteral("mode")}, chemin))
        return Refus{inconnu->champ, MembreInconnu::raison(), MembreInconnu::code()};
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

std::variant<ScenarioLu, ScenarioLu::Refus> ScenarioLu::lit(const QJsonObject& document,
                                                            const VerifieEtat& verifieEtat)
{
    if (const auto inconnu = membreInconnu(document, membresConnus()))
        return Refus{inconnu->champ, MembreInconnu::raison(), MembreInconnu::code()};
    for (const char* nom : {"state", "clock", "auto_homing"}) {
        const QJsonValue v = document.value(QLatin1String(nom));
        if (!v.isUndefined() && !v.isObject())
            return Refus{QLatin1String(nom), QStringLiteral("an object is expected"),
                         QStringLiteral("wrong_type")};
    }
    ScenarioLu lu;
    lu.etat = document.value(QStringLiteral("state")).toObject();
    if (verifieEtat) {
        if (auto refus = verifieEtat(lu.etat))
            return *refus;
    }
    if (document.contains(QStringLiteral("clock"))) {
        lu.horloge = document.value(QStringLiteral("clock")).toObject();
        if (auto refus = verifieHorloge(*lu.horloge, QStringLiteral("clock")))
            return *refus;
    }
    if (document.contains(QStringLiteral("seed"))) {
        lu.graine = graineJson(document.value(QStringLiteral("seed")));
        if (!lu.graine)
            return Refus{QStringLiteral("seed"),
                         QStringLiteral("a whole number from 0 to 2^53 is expected")};
    }
    if (document.contains(QStringLiteral("framing"))) {
        lu.tramesParCR = decoupageParCR(document.value(QStringLiteral("framing")).toString());
        if (!lu.tramesParCR)
            return Refus{QStringLiteral("framing"), QStringLiteral("CR or none is expected")};
    }
    if (document.contains(QStringLiteral("auto_homing"))) {
        const QJsonObject homing = document.value(QStringLiteral("auto_homing")).toObject();
        if (const auto inconnu =
                membreInconnu(homing, {QStringLiteral("delay_ms")}, QStringLiteral("auto_homing")))
            return Refus{inconnu->champ, MembreInconnu::raison(), MembreInconnu::code()};
        const QJsonValue delai = homing.value(QStringLiteral("delay_ms"));
        if (!delai.isUndefined()
            && (!delai.isDouble() || delai.toDouble() < 0
                || delai.toDouble() > HorlogeDispositif::AvanceMaxMs))
            return Refus{QStringLiteral("auto_homing.delay_ms"),
                         QStringLiteral("a time in ms, up to a day, is expected")};
        lu.homingMs = delai.isUndefined() ? 0.0 : delai.toDouble();
    }
    if (document.contains(QStringLiteral("faults"))) {
        if (!document.value(QStringLiteral("faults")).isArray())
            return Refus{QStringLiteral("faults"), QStringLiteral("a list is expected"),
                         QStringLiteral("wrong_type")};
        lu.fautes = document.value(QStringLiteral("faults"));
    }
    return lu;
}
