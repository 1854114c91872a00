#pragma once

#include "trace/ValeursCles.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// What velorin-rejoue is asked to do.
struct OptionsRejeu
{
    QString journal;
    QString hote;
    quint16 port = 0;
    bool json = false;
    // Recorded gaps between requests kept, rather than each request as soon as the last reply
    // is in.
    bool tempsEnregistre = false;
    int delaiMs = 2000;
};

enum class Demande { Rejeu, Aide, Version };

// The arguments after the program's name: what to do, or why they are wrong.
std::variant<Demande, QString> litArguments(const QStringList& arguments, OptionsRejeu& options);

QStringList lignesAideRejeu();
QString texteVersionRejeu();
