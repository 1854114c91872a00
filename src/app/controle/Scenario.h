#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

class Appareil;
class ChampsControle;
class SortieMessages;

// One JSON document that sets a whole test up: the device state, the clock, the seed of the
// fault rules' draws, how requests are framed, the PLC's homing by itself and the fault rules.
//   {"state": {...as PATCH /state...}, "clock": {...as PATCH /clock...}, "seed": 7,
//    "framing": "CR", "auto_homing": {"delay_ms": 300}, "faults": [...rules...]}
// Every member is optional. Everything is checked before anything is applied: a bad document
// changes nothing and names its field.
class Scenario
{
public:
    struct Refus
    {
        QString champ;
        QString raison;
        QString code = QStringLiteral("invalid_value");
    };

    Scenario(Appareil& appareil_, ChampsControle& champs_, SortieMessages& journal_)
        : appareil(appareil_), champs(champs_), journal(journal_)
    {
    }

    std::optional<Refus> applique(const QJsonObject& document);

    // The clock as PATCH /clock writes it: either {"speed": n} or {"mode": "real" | "step"}.
    // What to do with the clock, or why not; `chemin` prefixes the field names.
    static std::optional<Refus> verifieHorloge(const QJsonObject& horloge, const QString& chemin);
    static void appliqueHorloge(const QJsonObject& horloge, class HorlogeDispositif& dispositif);

private:
    Appareil& appareil;
    ChampsControle& champs;
    SortieMessages& journal;
};
