#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What the command line asks for. The text is upper-cased once and each key is found anywhere
// in it, first occurrence only; a value runs to the first blank. Values that name a file or an
// address keep the letter case they were typed in.
struct LigneCommande
{
    bool aide = false;                          // "?"
    std::optional<QString> portIP;              // "PORTIP=": the device port, 0 for a free one
    std::optional<QString> mode;                // "MODE="
    std::optional<QString> portControle;        // "CONTROL=": the HTTP control port
    std::optional<QString> journal;             // "LOG=": STDOUT, OFF or a file
    std::optional<QString> fichierPret;         // "READY=": written once every port listens
    std::optional<QString> adresse;             // "BIND=": the device port's address
    std::optional<QString> adresseControle;     // "CONTROL_BIND=": the control API's address
    std::optional<QString> horloge;             // "CLOCK=": REAL, STEP or X<factor>
    std::optional<QString> graine;              // "SEED=": the fault rules' draws
    std::optional<QString> scenario;            // "SCENARIO=": a JSON file applied at start
    std::optional<QString> decoupage;           // "FRAMING=": CR gathers requests up to CR
    std::optional<QString> journalTrafic;       // "JOURNAL=": the traffic journal's file
    std::optional<QString> tailleJournalTrafic; // "JOURNAL_MAX=": its size before it turns over
    std::optional<QString> relais;              // "PROXY=": host:port of the device to relay to
    std::optional<QString> rejeu;               // "PLAYBACK=": a journal whose replies are given
    std::optional<QString> rejeuSinon;          // "PLAYBACK_FALLBACK=": SIM answers the unrecorded
    std::optional<QString> pauseArret;          // "SHUTDOWN_PAUSE_MS=": the pause at the end
    bool trace = false;                         // "TRACE=ON" ticks "flux IP"
    // Tokens written KEY=value whose key is none of the above, as typed.
    QStringList inconnus;

    // The program's arguments joined by blanks.
    static LigneCommande lire(const QString& texte);

    bool journalStdout() const;
    bool journalCoupe() const;
};

// A port a text names: a whole number from 0 to 65535, digits only (0: the system picks one).
std::optional<quint16> portValide(const QString& texte);
