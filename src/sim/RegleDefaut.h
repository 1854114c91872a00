#pragma once

#include <QChar>
#include <QHash>
#include <QJsonObject>
#include <QRegularExpression>
#include <QString>

#include <optional>
#include <variant>

// One fault rule, as a test writes it: a match, an action and limits.
//   {"match": {"command": "D", "nth": 3}, "action": {"type": "drop"}, "count": 1}
// Every field of the match is optional and all must hold together. An action's parameters sit
// beside its type. Limits: count (fires n times, then the rule goes), after_ms (armed after that
// much device time), duration_ms (then the rule goes, in device time too).
struct RegleDefaut
{
    enum class Action {
        // on the reply to the matched request
        Delai,
        Supprime,
        Remplace,
        Corrompt,
        Decoupe,
        Ferme,
        Reinitialise,
        Bloque,
        // on a connection
        Accueil,
        Refuse,
        AccepteTard,
        // on the PLC itself
        ArretAxe,
        AxeLent,
        PerteHoming,
        Registre,
    };
    enum class Corruption { Checksum, Octet, Tronque };

    // Match.
    std::optional<QString> mode; // upper case, as the analysis compares it
    std::optional<QChar> commande;
    std::optional<QRegularExpression> requete;
    std::optional<int> canal;
    std::optional<qint64> nieme;
    std::optional<qint64> chaque;
    std::optional<double> probabilite;

    // Action and its parameters.
    Action action = Action::Supprime;
    double ms = 0;      // delay, stall, accept_delay; the gap of a split
    double gigueMs = 0; // delay
    QString octets;     // reply, greeting
    Corruption corruption = Corruption::Checksum;
    qint64 rang = 1;     // corrupt byte: which byte; truncate: how many kept
    qint64 morceaux = 2; // split
    bool apres = true;   // close: after the reply (or before it)
    QChar axe;           // axis faults, homing_lost: X or Z
    double position = 0; // axis_stop
    double fraction = 1; // axis_slow
    qint64 numero = 0;   // register
    quint32 valeur = 0;  // register

    // Limits.
    std::optional<qint64> nombre;
    std::optional<double> dureeMs;
    double apresMs = 0;

    QJsonObject source; // as written, shown back by GET /faults

    // Whether the rule's match looks at requests at all (a PLC fault without one holds from
    // the moment it is armed).
    bool regardeLesRequetes() const;
    bool surLaReponse() const { return action <= Action::Bloque; }
    bool surLaConnexion() const
    {
        return action >= Action::Accueil && action <= Action::AccepteTard;
    }
    bool surLAppareil() const { return action >= Action::ArretAxe; }
    QString nomAction() const;

    struct Erreur
    {
        QString champ; // the path of the field at fault, e.g. "faults[1].action.ms"
        QString raison;
        // Its stable word for programs: unknown_field, wrong_type, out_of_range, invalid_value.
        QString code = QStringLiteral("invalid_value");
    };
    // The longest pattern of `request`: each is compiled as it is read, on the window's thread.
    static constexpr qsizetype MotifMax = 128;
    // Patterns already compiled, by their text: the rules of a set that share one share it.
    using Motifs = QHash<QString, QRegularExpression>;

    // A rule from its JSON object; `chemin` prefixes the field names of an error.
    static std::variant<RegleDefaut, Erreur> lit(const QJsonObject& objet, const QString& chemin,
                                                 Motifs* motifs = nullptr);
};
