#pragma once

#include "ArgumentsRejeu.h"
#include "trace/LectureJournal.h"
#include "trace/ValeursCles.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

// Where each device of a journal is reached: by its name, or under "" for a one-device journal
// (its events name no device).
using CiblesRejeu = QHash<QString, HotePort>;

// The devices a journal's conversations name and that have something to replay, in order of
// first appearance; none for a one-device journal.
QStringList appareilsDuJournal(const QList<Conversation>& liste);

// A journal where some conversations name their device and others do not cannot say where the
// latter go: the first of them, by its line.
std::optional<QString> appareilManquant(const QList<Conversation>& liste);

// What a Velorin's ready file says of where it listens: `port` (its first device) and
// `devices` [{name, port, mode}], both on 127.0.0.1.
struct FichierPretLu
{
    quint16 port = 0;
    QList<AdresseAppareil> appareils;
};
std::variant<FichierPretLu, QString> litFichierPret(const QString& chemin);

// Each device of the journal with its address, from the command line or the ready file, or why
// one is missing (naming it).
std::variant<CiblesRejeu, QString> cibles(const QList<Conversation>& liste,
                                          const OptionsRejeu& options, const FichierPretLu* pret);
