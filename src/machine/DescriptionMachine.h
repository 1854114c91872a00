#pragma once

#include "trace/ValeursCles.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

// One device of a machine file, read and checked. Its state is checked by the device that
// takes it (its fields are the control API's); everything else is checked here.
struct DescriptionAppareil
{
    QString nom;
    QString mode;                      // as MODE= takes it
    quint16 port = 0;                  // 0: the system picks one
    std::optional<QString> adresse;    // "bind"
    std::optional<bool> tramesParCR;   // "framing"
    QJsonObject etat;                  // "state", as PATCH /state takes it
    std::optional<QJsonArray> fautes;  // "faults", as POST /faults takes them
    std::optional<double> homingMs;    // "auto_homing": {"delay_ms": n}
    std::optional<QString> relais;     // "proxy": host:port
    std::optional<QString> rejeu;      // "playback": a journal
    std::optional<QString> rejeuSinon; // "playback_fallback": SIM or NONE
    int index = 0;                     // where it stands in "devices", for what names it
};

// A machine file: several devices served by one process, and what the process has once.
//   {"clock": "step", "seed": 7, "journal": "t.jsonl", "journal_max": "10M", "control": 0,
//    "control_bind": "127.0.0.1",
//    "devices": [{"name": "plc", "mode": "automateOMRON", "port": 0}, ...]}
// A device with "count": N stands for N devices name-1 .. name-N on consecutive ports from its
// port (each a free one with port 0). The file is refused whole at its first fault, named by its
// path ("devices[3].port").
struct DescriptionMachine
{
    // More devices than this is no machine a test rig drives.
    static constexpr int AppareilsMax = 10000;
    // Anything past this is no description of devices.
    static constexpr qint64 TailleMax = 16 * 1024 * 1024;

    struct Refus
    {
        QString champ; // empty when the file is no JSON object at all
        QString raison;
    };

    std::optional<QString> horloge;         // "clock", as CLOCK= takes it
    std::optional<quint64> graine;          // "seed"
    std::optional<QString> journal;         // "journal"
    std::optional<QString> tailleJournal;   // "journal_max", as JOURNAL_MAX= takes it
    std::optional<QString> portControle;    // "control"
    std::optional<QString> adresseControle; // "control_bind"
    std::vector<DescriptionAppareil> appareils;

    static std::variant<DescriptionMachine, Refus> lit(const QJsonObject& document);
    static std::variant<DescriptionMachine, Refus> lit(const QByteArray& texte);
    // Letters, digits, '-' and '_': a name that stands in a path of the control API as it is.
    static bool nomValide(const QString& nom);
};
