#pragma once

#include <QJsonValue>
#include <QString>

#include <optional>

// The values the command line, scenario files and velorin-rejoue take, each read by one
// function whoever gives it.

// A port: a whole number from 0 to 65535, digits only (0: the system picks one).
std::optional<quint16> portValide(const QString& texte);

// The seed of the fault rules' draws: a whole number from 0 to 2^53, the largest a JSON number
// holds exactly, so that a seed given on the command line can also be written in a scenario.
constexpr quint64 GraineMax = quint64(1) << 53;
// Digits only, as the command line gives it.
std::optional<quint64> graineTexte(const QString& texte);
// A JSON number, as a scenario or POST /faults gives it.
std::optional<quint64> graineJson(const QJsonValue& valeur);

// The framing: CR (requests gathered up to CR, true) or NONE (one per arrival, false), in any
// letter case.
std::optional<bool> decoupageParCR(const QString& texte);

// "host:port" or "[IPv6 address]:port", the port from 1 to 65535 in digits only. A bare IPv6
// address is refused: its last field could be the port.
struct HotePort
{
    QString hote;
    quint16 port = 0;
};
std::optional<HotePort> litHotePort(const QString& texte);
