#pragma once

#include "trace/ValeursCles.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What the command line asks for. The text is upper-cased once and each key is found anywhere
// in it, first occurrence only; a value runs to the first blank. Values that name a file or an
// address keep the letter case they were typed in. The keys are those of clesLigneCommande().
// A key absent from the text is taken from the environment variable VELORIN_<KEY> when that is
// set and not empty, whole, blanks included: the arguments win.
struct LigneCommande
{
    bool aide = false;                           // "?"
    std::optional<QString> portIP;               // "PORTIP=": the device port, 0 for a free one
    std::optional<QString> mode;                 // "MODE="
    std::optional<QString> portControle;         // "CONTROL=": the HTTP control port
    std::optional<QString> journal;              // "LOG=": STDOUT, OFF or a file
    std::optional<QString> fichierPret;          // "READY=": written once every port listens
    std::optional<QString> adresse;              // "BIND=": the device port's address
    std::optional<QString> adresseControle;      // "CONTROL_BIND=": the control API's address
    std::optional<QString> horloge;              // "CLOCK=": REAL, STEP or X<factor>
    std::optional<QString> graine;               // "SEED=": the fault rules' draws
    std::optional<QString> scenario;             // "SCENARIO=": a JSON file applied at start
    std::optional<QString> decoupage;            // "FRAMING=": CR gathers requests up to CR
    std::optional<QString> journalTrafic;        // "JOURNAL=": the traffic journal's file
    std::optional<QString> tailleJournalTrafic;  // "JOURNAL_MAX=": its size before it turns over
    std::optional<QString> relais;               // "PROXY=": host:port of the device to relay to
    std::optional<QString> rejeu;                // "PLAYBACK=": a journal whose replies are given
    std::optional<QString> rejeuSinon;           // "PLAYBACK_FALLBACK=": SIM answers the unrecorded
    std::optional<QString> pauseArret;           // "SHUTDOWN_PAUSE_MS=": the pause at the end
    std::optional<QString> hotesControle;        // "CONTROL_HOSTS=": more names for this machine
    std::optional<QString> jetonControle;        // "CONTROL_TOKEN=": asked of every request
    std::optional<QString> fichierJetonControle; // "CONTROL_TOKEN_FILE=": the same, from a file
    std::optional<QString> machine;              // "MACHINE=": a JSON file of several devices
    bool trace = false;                          // "TRACE=ON" ticks "flux IP"
    // Tokens written KEY=value whose key is none of the above, as typed.
    QStringList inconnus;

    // The program's arguments joined by blanks, then the environment.
    static LigneCommande lire(const QString& texte, const QProcessEnvironment& environnement = {});

    bool journalStdout() const;
    bool journalCoupe() const;
};

// One key of the command line: what reads it, --help, the "?" text and scenarios all take it
// from here.
struct CleLigneCommande
{
    QLatin1String nom; // "PORTIP=", found in any letter case
    // Where its value goes; none for TRACE=, which only ticks "flux IP" when it is ON.
    std::optional<QString> LigneCommande::*valeur;
    // A file or an address: the value keeps its letter case, and a "?" in it asks for no help.
    bool casseTapee;
    int ligneUsage;       // the line of --help's usage that shows it, from 0
    const char* usage;    // "[PORTIP=port]"
    const char* aide;     // its line of --help, UTF-8
    const char* scenario; // the member of a scenario that sets the same, or nullptr
};
// Every key, in the order --help explains them.
const std::vector<CleLigneCommande>& clesLigneCommande();
// The environment variable that gives a key absent from the arguments: VELORIN_PORTIP.
QString variableEnvironnement(const CleLigneCommande& cle);
