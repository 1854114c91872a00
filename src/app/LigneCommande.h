#pragma once

#include <QString>

#include <optional>

// What the command line asks for. The text is upper-cased once and each key is found anywhere
// in it, first occurrence only; a value runs to the first blank.
struct LigneCommande
{
    bool aide = false;              // "?"
    std::optional<QString> portIP;  // "PORTIP="
    std::optional<QString> mode;    // "MODE="
    bool journalStdout = false;     // "LOG=STDOUT"
    std::optional<QString> portControle; // "CONTROL=": the HTTP control port

    // The program's arguments joined by blanks.
    static LigneCommande lire(const QString& texte);
};

// The listening port a text names: a whole number from 1 to 65535, digits only.
std::optional<quint16> portValide(const QString& texte);
