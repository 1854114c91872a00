#include "RegleDefaut.h"

#include "trace/Lisible.h"
#include "trace/MembreInconnu.h"

#include <QJsonArray>

#include <cmath>
#include <map>

namespace {

using Action = RegleDefaut::Action;
using Erreur = RegleDefaut::Erreur;

const std::map<QString, Action>& actions()
{
    static const std::map<QString, Action> noms = {
        {QStringLiteral("delay"), Action::Delai},
        {QStringLiteral("drop"), Action::Supprime},
        {QStringLiteral("reply"), Action::Remplace},
        {QStringLiteral("corrupt"), Action::Corrompt},
        {QStringLiteral("split"), Action::Decoupe},
        {QStringLiteral("close"), Action::Ferme},
        {QStringLiteral("reset"), Action::Reinitialise},
        {QStringLiteral("stall"), Action::Bloque},
        {QStringLiteral("greeting"), Action::Accueil},
        {QStringLiteral("refuse"), Action::Refuse},
        {QStringLiteral("accept_delay"), Action::AccepteTard},
        {QStringLiteral("axis_stop"), Action::ArretAxe},
        {QStringLiteral("axis_slow"), Action::AxeLent},
        {QStringLiteral("homing_lost"), Action::PerteHoming},
        {QStringLiteral("register"), Action::Registre},
    };
    return noms;
}

// Reads the fields of one JSON object, each once, and says what is wrong with the first bad one.
class Lecteur
{
public:
    Lecteur(const QJsonObject& objet_, QString chemin_) : objet(objet_), chemin(std::move(chemin_))
    {
    }

    std::optional<Erreur> erreur;

    bool a(const char* nom) const { return objet.contains(QLatin1String(nom)); }

    std::optional<double> nombre(const char* nom, double min, double max, bool entier = false)
    {
        if (!a(nom) || erreur)
            return std::nullopt;
        const QJsonValue v = objet.value(QLatin1String(nom));
        const double n = v.toDouble();
        if (!v.isDouble() || !std::isfinite(n))
            return faute(nom, QStringLiteral("a number is expected"), QStringLiteral("wrong_type"));
        if (entier && n != std::floor(n))
            return faute(nom, QStringLiteral("a whole number is expected"),
                         QStringLiteral("wrong_type"));
        if (n < min || n > max)
            return faute(nom, QStringLiteral("from %1 to %2").arg(min).arg(max, 0, 'f', 0),
                         QStringLiteral("out_of_range"));
        return n;
    }
    std::optional<QString> texte(const char* nom)
    {
        if (!a(nom) || erreur)
            return std::nullopt;
        const QJsonValue v = objet.value(QLatin1String(nom));
        if (!v.isString())
            return faute(nom, QStringLiteral("a string is expected"), QStringLiteral("wrong_type")),
                   std::nullopt;
        return v.toString();
    }
    // The names the object may hold; any other is an error.
    void seulement(std::initializer_list<const char*> noms)
    {
        if (erreur)
            return;
        QStringList connus;
        for (const char* nom : noms)
            connus << QLatin1String(nom);
        if (const auto inconnu = membreInconnu(objet, connus, chemin))
            erreur = Erreur{inconnu->champ, MembreInconnu::raison(), MembreInconnu::code()};
    }
    std::nullopt_t faute(const char* nom, const QString& raison,
                         const QString& code = QStringLiteral("invalid_value"))
    {
        if (!erreur)
            erreur = Erreur{champ(QLatin1String(nom)), raison, code};
        return std::nullopt;
    }
    QString champ(const QString& nom) const
    {
        return chemin.isEmpty() ? nom : chemin + QLatin1Char('.') + nom;
    }

private:
    const QJsonObject& objet;
    QString chemin;
};

constexpr double Jour = 24.0 * 3600 * 1000;

std::optional<Erreur> litCorrespondance(RegleDefaut& r, const QJsonObject& objet,
                                        const QString& chemin, RegleDefaut::Motifs* motifs)
{
    Lecteur l(objet, chemin);
    l.seulement({"mode", "command", "request", "channel", "nth", "every", "probability"});
    if (auto mode = l.texte("mode")) {
        // A mode no request is ever received in would leave the rule silent for good.
        static const QStringList modes = {QStringLiteral("AUTOMATEOMRON"),
                                          QStringLiteral("MODULELASERS"),
                                          QStringLiteral("MODEECHO"), QStringLiteral("MODEMUET")};
        if (!modes.contains(mode->toUpper()))
            l.faute("mode", QStringLiteral("automateOMRON, moduleLASERS, modeECHO or modeMUET is "
                                           "expected"));
        else
            r.mode = mode->toUpper();
    }
    if (auto commande = l.texte("command")) {
        if (commande->size() != 1)
            l.faute("command", QStringLiteral("one character is expected"));
        else
            r.commande = commande->at(0);
    }
    if (auto motif = l.texte("request")) {
        if (motif->size() > RegleDefaut::MotifMax) {
            l.faute("request", QStringLiteral("at most %1 characters").arg(RegleDefaut::MotifMax));
        } else if (motifs != nullptr && motifs->contains(*motif)) {
            r.requete = motifs->value(*motif);
        } else {
            QRegularExpression re(*motif);
            if (!re.isValid())
                l.faute("request", QStringLiteral("not a regular expression: ") + re.errorString());
            else
                r.requete = re;
            if (motifs != nullptr && r.requete)
                motifs->insert(*motif, re);
        }
    }
    if (auto canal = l.nombre("channel", 1, 32767, true))
        r.canal = int(*canal);
    if (auto n = l.nombre("nth", 1, 1e15, true))
        r.nieme = qint64(*n);
    if (auto k = l.nombre("every", 1, 1e15, true))
        r.chaque = qint64(*k);
    r.probabilite = l.nombre("probability", 0, 1);
    return l.erreur;
}

std::optional<Erreur> litAction(RegleDefaut& r, const QJsonObject& objet, const QString& chemin)
{
    Lecteur l(objet, chemin);
    const auto type = l.texte("type");
    if (!type) {
        return l.erreur ? l.erreur
                        : Erreur{l.champ(QStringLiteral("type")),
                                 QStringLiteral("an action type is expected")};
    }
    const auto trouve = actions().find(*type);
    if (trouve == actions().end())
        return Erreur{l.champ(QStringLiteral("type")), QStringLiteral("unknown action type")};
    r.action = trouve->second;
    const auto axe = [&] {
        const auto nom = l.texte("axis");
        if (!nom || (*nom != QLatin1String("X") && *nom != QLatin1String("Z")))
            l.faute("axis", QStringLiteral("X or Z is expected"));
        else
            r.axe = nom->at(0);
    };
    const auto octets = [&](const char* nom) {
        const auto texte = l.texte(nom);
        if (!texte)
            l.faute(nom, QStringLiteral("the bytes are expected"));
        else
            r.octets = depuisLisible(*texte);
        for (const QChar c : r.octets) {
            if (c.unicode() > 0xFF)
                return l.faute(nom, QStringLiteral("bytes are characters 0 to 255")), void();
        }
    };
    switch (r.action) {
    case Action::Delai:
        l.seulement({"type", "ms", "jitter_ms"});
        r.ms = l.nombre("ms", 0, Jour).value_or(l.a("ms") ? 0 : -1);
        if (r.ms < 0)
            l.faute("ms", QStringLiteral("the delay in ms is expected"));
        r.gigueMs = l.nombre("jitter_ms", 0, Jour).value_or(0);
        break;
    case Action::Supprime:
    case Action::Reinitialise:
    case Action::Refuse: l.seulement({"type"}); break;
    case Action::Remplace:
    case Action::Accueil:
        l.seulement({"type", "bytes"});
        octets("bytes");
        break;
    case Action::Corrompt: {
        l.seulement({"type", "how", "at", "length"});
        const QString comment = l.texte("how").value_or(QStringLiteral("checksum"));
        if (comment == QLatin1String("checksum"))
            r.corruption = RegleDefaut::Corruption::Checksum;
        else if (comment == QLatin1String("byte"))
            r.corruption = RegleDefaut::Corruption::Octet,
            r.rang = qint64(l.nombre("at", 1, 65536, true).value_or(1));
        else if (comment == QLatin1String("truncate"))
            r.corruption = RegleDefaut::Corruption::Tronque,
            r.rang = qint64(l.nombre("length", 0, 65536, true).value_or(1));
        else
            l.faute("how", QStringLiteral("checksum, byte or truncate is expected"));
        break;
    }
    case Action::Decoupe:
        l.seulement({"type", "pieces", "gap_ms"});
        r.morceaux = qint64(l.nombre("pieces", 2, 65536, true).value_or(2));
        r.ms = l.nombre("gap_ms", 0, Jour).value_or(10);
        break;
    case Action::Ferme: {
        l.seulement({"type", "when"});
        const QString quand = l.texte("when").value_or(QStringLiteral("after"));
        if (quand != QLatin1String("after") && quand != QLatin1String("before"))
            l.faute("when", QStringLiteral("before or after is expected"));
        r.apres = quand == QLatin1String("after");
        break;
    }
    case Action::Bloque:
    case Action::AccepteTard:
        l.seulement({"type", "ms"});
        r.ms = l.nombre("ms", 0, Jour).value_or(-1);
        if (r.ms < 0)
            l.faute("ms", QStringLiteral("a time in ms is expected"));
        break;
    case Action::ArretAxe:
        l.seulement({"type", "axis", "at"});
        axe();
        if (!l.a("at"))
            l.faute("at", QStringLiteral("the position where the axis stops is expected"));
        r.position = l.nombre("at", -1e8, 1e8).value_or(0);
        break;
    case Action::AxeLent:
        l.seulement({"type", "axis", "fraction"});
        axe();
        if (!l.a("fraction"))
            l.faute("fraction", QStringLiteral("the fraction of a step is expected"));
        r.fraction = l.nombre("fraction", 0, 1).value_or(1);
        break;
    case Action::PerteHoming:
        l.seulement({"type", "axis"});
        axe();
        break;
    case Action::Registre:
        l.seulement({"type", "number", "value"});
        if (!l.a("number") || !l.a("value"))
            l.faute(l.a("number") ? "value" : "number",
                    QStringLiteral("the register and its value are expected"));
        r.numero = qint64(l.nombre("number", 0, 99999, true).value_or(0));
        r.valeur = quint32(l.nombre("value", 0, 65535, true).value_or(0));
        break;
    }
    return l.erreur;
}

} // namespace

bool RegleDefaut::regardeLesRequetes() const
{
    return mode || commande || requete || nieme || chaque;
}

QString RegleDefaut::nomAction() const
{
    for (const auto& [nom, a] : actions()) {
        if (a == action)
            return nom;
    }
    return {};
}

std::variant<RegleDefaut, RegleDefaut::Erreur>
RegleDefaut::lit(const QJsonObject& objet, const QString& chemin, Motifs* motifs)
{
    RegleDefaut r;
    r.source = objet;
    Lecteur l(objet, chemin);
    l.seulement({"match", "action", "count", "duration_ms", "after_ms"});
    if (l.erreur)
        return *l.erreur;
    const QJsonValue correspondance = objet.value(QStringLiteral("match"));
    if (!correspondance.isUndefined() && !correspondance.isObject())
        return Erreur{l.champ(QStringLiteral("match")), QStringLiteral("an object is expected"),
                      QStringLiteral("wrong_type")};
    if (auto e = litCorrespondance(r, correspondance.toObject(), l.champ(QStringLiteral("match")),
                                   motifs))
        return *e;
    const QJsonValue action = objet.value(QStringLiteral("action"));
    if (!action.isObject())
        return Erreur{
            l.champ(QStringLiteral("action")), QStringLiteral("an action object is expected"),
            action.isUndefined() ? QStringLiteral("invalid_value") : QStringLiteral("wrong_type")};
    if (auto e = litAction(r, action.toObject(), l.champ(QStringLiteral("action"))))
        return *e;
    // A connection carries no request: a rule on it that asks for one would never fire.
    if (r.surLaConnexion()) {
        for (const char* champ : {"mode", "command", "request"}) {
            if (correspondance.toObject().contains(QLatin1String(champ)))
                return Erreur{l.champ(QStringLiteral("match.") + QLatin1String(champ)),
                              QStringLiteral("a connection rule takes only channel, nth, every "
                                             "and probability"),
                              QStringLiteral("bad_combination")};
        }
    }
    if (auto n = l.nombre("count", 1, 1e15, true))
        r.nombre = qint64(*n);
    r.dureeMs = l.nombre("duration_ms", 0, 1e15);
    r.apresMs = l.nombre("after_ms", 0, 1e15).value_or(0);
    if (l.erreur)
        return *l.erreur;
    return r;
}
