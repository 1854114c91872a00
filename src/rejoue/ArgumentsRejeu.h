#pragma once

#include "trace/ValeursCles.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// A device of a several-device journal and where to reach it: plc=127.0.0.1:10001.
struct AdresseAppareil
{
    QString nom;
    HotePort adresse;
};

// What velorin-rejoue is asked to do.
struct OptionsRejeu
{
    QString journal;
    // The one-device form, journal.jsonl HOTE:PORT.
    QString hote;
    quint16 port = 0;
    // The several-device form, journal.jsonl NOM=HOTE:PORT..., in the order given.
    QList<AdresseAppareil> appareils;
    // --ready: the addresses are taken from a Velorin's ready file.
    QString fichierPret;
    // --junit: a JUnit report is written there too.
    QString junit;
    bool json = false;
    // Recorded gaps between requests kept, rather than each request as soon as the last reply
    // is in.
    bool tempsEnregistre = false;
    int delaiMs = 2000;
};

enum class Demande { Rejeu, Aide, Version };

// The arguments after the program's name: what to do, or why they are wrong.
std::variant<Demande, QString> litArguments(const QStringList& arguments, OptionsRejeu& options);

// Where --junit asks the report to go, wherever it stands, even on a command line that is wrong
// elsewhere: a CI job must find its file saying why.
QString cheminJunit(const QStringList& arguments);

QStringList lignesAideRejeu();
QString texteVersionRejeu();
