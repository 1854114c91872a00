#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <functional>
#include <optional>
#include <variant>

// A scenario document read and checked, with nothing applied yet: what each member asks for.
// The state's fields and the fault rules are checked by those who apply them.
struct ScenarioLu
{
    struct Refus
    {
        QString champ;
        QString raison;
        QString code = QStringLiteral("invalid_value");
    };

    QJsonObject etat;
    std::optional<QJsonObject> horloge;
    std::optional<quint64> graine;
    std::optional<bool> tramesParCR;
    std::optional<double> homingMs; // 0: homing completes at once
    std::optional<QJsonValue> fautes;

    // Every member of the document checked, the state's fields by `verifieEtat` if given; the
    // first one at fault named.
    using VerifieEtat = std::function<std::optional<Refus>(const QJsonObject& etat)>;
    static std::variant<ScenarioLu, Refus> lit(const QJsonObject& document,
                                               const VerifieEtat& verifieEtat = {});
    // The clock as PATCH /clock writes it: either {"speed": n} or {"mode": "real" | "step"};
    // `chemin` prefixes the field names.
    static std::optional<Refus> verifieHorloge(const QJsonObject& horloge, const QString& chemin);
};
