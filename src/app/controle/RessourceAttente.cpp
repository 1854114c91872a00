#include "RessourceAttente.h"

#include "Attentes.h"
#include "ChampsControle.h"
#include "sim/MoteurDefauts.h"
#include "sim/MouvementAxes.h"
#include "trace/HistoriqueJournal.h"

#include <QJsonArray>
#include <limits>

#include <cmath>

namespace {

constexpr int DelaiParDefautMs = 10000;

const QStringList Conditions = {QStringLiteral("fault_fired"), QStringLiteral("log_contains"),
                                QStringLiteral("arrived"), QStringLiteral("connections")};

bool entier(const QJsonValue& v, double min, double max)
{
    const double n = v.toDouble();
    return v.isDouble() && std::isfinite(n) && n == std::floor(n) && n >= min && n <= max;
}

// What is wrong with a value entier() refused: its type, or only its range.
QString fauteEntier(const QJsonValue& v, const QString& horsBornes)
{
    const double n = v.toDouble();
    return v.isDouble() && std::isfinite(n) && n == std::floor(n) ? horsBornes
                                                                  : QStringLiteral("wrong_type");
}

} // namespace

QList<Route> RessourceAttente::routes()
{
    return {
        {QStringLiteral("/wait"),
         RequeteControle::Methode::Post,
         {},
         [this](const RequeteControle& r, const Repondeur& repondeur) { attend(r, repondeur); }}};
}

void RessourceAttente::attend(const RequeteControle& requete, const Repondeur& repondeur)
{
    auto lu = objetJson(requete.body());
    if (auto* reponse = std::get_if<QHttpServerResponse>(&lu))
        return repondeur(*reponse);
    const QJsonObject demande = std::get<QJsonObject>(lu);
    if (auto faute = champsInconnus(
            demande,
            Conditions + QStringList{QStringLiteral("timeout_ms"), QStringLiteral("since")}))
        return repondeur(*faute);
    int delaiMs = DelaiParDefautMs;
    if (demande.contains(QStringLiteral("timeout_ms"))) {
        const auto delai = Attentes::delai(demande.value(QStringLiteral("timeout_ms")),
                                           QStringLiteral("timeout_ms"));
        if (const auto* faute = std::get_if<QHttpServerResponse>(&delai))
            return repondeur(*faute);
        delaiMs = std::get<int>(delai);
    }
    auto lue = condition(demande);
    if (auto* faute = std::get_if<QHttpServerResponse>(&lue))
        return repondeur(*faute);
    const Observation observe = std::get<Observation>(lue);
    const auto membres = [observe](const Vu& vu, qint64 attenduMs) {
        QJsonObject objet = vu.membres;
        objet.insert(QStringLiteral("waited_ms"), attenduMs);
        return objet;
    };
    sources.attentes.ajoute(
        repondeur,
        [observe, membres](qint64 attenduMs) -> std::optional<QHttpServerResponse> {
            const Vu vu = observe();
            if (!vu.tient)
                return std::nullopt;
            return QHttpServerResponse(membres(vu, attenduMs));
        },
        [observe, membres](qint64 attenduMs) {
            return reponseErreur(QHttpServerResponse::StatusCode::RequestTimeout,
                                 QStringLiteral("timeout"),
                                 QStringLiteral("the condition did not hold in time"),
                                 membres(observe(), attenduMs));
        },
        delaiMs);
}

// Exactly one condition, checked whole before the wait starts.
std::variant<RessourceAttente::Observation, QHttpServerResponse>
RessourceAttente::condition(const QJsonObject& demande)
{
    QStringList donnees;
    for (const QString& nom : Conditions) {
        if (demande.contains(nom))
            donnees << nom;
    }
    if (donnees.size() != 1)
        return refus(QStringLiteral("bad_combination"),
                     QStringLiteral("exactly one condition is expected: ")
                         + Conditions.join(QStringLiteral(", ")),
                     donnees.value(1));
    const QString nom = donnees.first();
    const QJsonValue valeur = demande.value(nom);
    if (demande.contains(QStringLiteral("since")) && nom != QLatin1String("log_contains"))
        return refus(QStringLiteral("bad_combination"),
                     QStringLiteral("since goes with log_contains"), QStringLiteral("since"));
    const QJsonObject quoi{{QStringLiteral("condition"), nom}};

    if (nom == QLatin1String("fault_fired")) {
        if (!entier(valeur, 1, std::numeric_limits<int>::max()))
            return refus(fauteEntier(valeur, QStringLiteral("out_of_range")),
                         QStringLiteral("a rule id is expected"), nom);
        const int id = valeur.toInt();
        return Observation([this, id, quoi] {
            Vu vu{false, quoi};
            // The rule as listed: its id and how often it fired.
            const QJsonArray regles = sources.defauts.liste(true);
            for (const auto& regle : regles) {
                const QJsonObject r = regle.toObject();
                if (r.value(QStringLiteral("id")).toInt() != id)
                    continue;
                vu.tient = r.value(QStringLiteral("fired")).toDouble() > 0;
                vu.membres.insert(QStringLiteral("fault"), r);
            }
            return vu;
        });
    }
    if (nom == QLatin1String("log_contains")) {
        const QString texte = valeur.toString();
        if (!valeur.isString() || texte.isEmpty())
            return refus(QStringLiteral("wrong_type"), QStringLiteral("a text is expected"), nom);
        if (texte.size() > ChampsControle::TexteMax)
            return refus(QStringLiteral("too_long"), QStringLiteral("too long"), nom,
                         QStringLiteral("at most %1 characters").arg(ChampsControle::TexteMax));
        qint64 depuis = 0;
        if (demande.contains(QStringLiteral("since"))) {
            if (!entier(demande.value(QStringLiteral("since")), 0, 9e15))
                return refus(fauteEntier(demande.value(QStringLiteral("since")),
                                         QStringLiteral("invalid_value")),
                             QStringLiteral("since must be a line number"),
                             QStringLiteral("since"));
            depuis = qint64(demande.value(QStringLiteral("since")).toDouble());
        }
        // Each look starts after the last line already looked at.
        auto vues = std::make_shared<qint64>(depuis);
        return Observation([this, texte, vues, quoi] {
            const HistoriqueJournal& lignes = sources.lignes;
            Vu vu{false, quoi};
            const qint64 premier = lignes.premierApres(*vues);
            const QStringList nouvelles = lignes.depuis(*vues);
            for (qsizetype i = 0; i < nouvelles.size(); ++i) {
                if (!nouvelles.at(i).contains(texte))
                    continue;
                vu.tient = true;
                vu.membres.insert(QStringLiteral("line"), nouvelles.at(i));
                vu.membres.insert(QStringLiteral("number"), premier + i);
                *vues = premier + i;
                break;
            }
            if (!vu.tient)
                *vues = lignes.total();
            vu.membres.insert(QStringLiteral("next"), lignes.total());
            return vu;
        });
    }
    if (nom == QLatin1String("arrived")) {
        if (valeur != QJsonValue(true))
            return refus(QStringLiteral("invalid_value"), QStringLiteral("true is expected"), nom);
        return Observation([this, quoi] {
            Vu vu{axesEnPosition(sources.panneau).tous(), quoi};
            vu.membres.insert(QStringLiteral("arrived"), vu.tient);
            vu.membres.insert(QStringLiteral("state"), sources.champs.etat());
            return vu;
        });
    }
    if (!entier(valeur, 0, 1e6))
        return refus(fauteEntier(valeur, QStringLiteral("out_of_range")),
                     QStringLiteral("a whole number from 0 to 1000000 is expected"), nom);
    const int voulues = valeur.toInt();
    return Observation([this, voulues, quoi] {
        const int n = sources.clients();
        Vu vu{n >= voulues, quoi};
        vu.membres.insert(QStringLiteral("connections"), n);
        return vu;
    });
}
