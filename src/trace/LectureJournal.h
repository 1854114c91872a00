#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <variant>

class QIODevice;

// Reads a traffic journal (JSON Lines, one event a line) back, and gathers its recv and send
// events into the conversations a host had with the device.

// One line of the journal. donnees holds "data" as written: for recv and send, one character
// per byte (codes 0 to 255), as CoucheSocket::GetData gives them.
struct EvenementLu
{
    qint64 ligne;
    QString type;
    qint64 monoUs = 0;
    int canal = -1;
    QString pair;
    QString donnees;
    // "origin": "velorin": bytes Velorin sent on its own behalf, not the device's.
    bool deVelorin = false;
    // "device": which device of a several-device run; empty in a one-device journal.
    QString appareil;
};

// A device's name: letters, digits, '-' and '_', at least one.
bool nomAppareilValide(const QString& nom);

// ligne 0: the file itself could not be read. message is whole, "ligne 7 : JSON invalide",
// ready to be shown as it is.
struct ErreurJournal
{
    qint64 ligne;
    QString message;
    // The reading was ended by `interrompu` (a stop asked meanwhile).
    bool interrompue = false;
};

// The largest journal read back: a file at the writer's default bound, with room to spare.
inline constexpr qint64 TailleMaxJournalLu = 256 * 1024 * 1024;

// A last line without its end of line that is not a whole event is what a writer stopped short
// (a full disk, a killed process) leaves: it is left out, and `avertissement` says so. Any other
// wrong line refuses the journal. The file is read as LectureBornee reads (a pipe to its end).
std::variant<QList<EvenementLu>, ErreurJournal>
litJournal(const QString& chemin, QString* avertissement = nullptr,
           const std::function<bool()>& interrompu = {});
std::variant<QList<EvenementLu>, ErreurJournal> litJournal(QIODevice& source,
                                                           QString* avertissement = nullptr);
std::variant<QList<EvenementLu>, ErreurJournal> litJournalTexte(const QByteArray& texte,
                                                                QString* avertissement = nullptr);

// A request and the device's whole reply to it. A greeting (what the device sent before any
// request) has an empty request. ligne and monoUs are the request's recv, or for a greeting
// its first send.
struct Echange
{
    QString requete;
    QString reponse;
    qint64 ligne = 0;
    qint64 monoUs = 0;
};

// One connection of a host, from its connect (or first exchange) to its close.
struct Conversation
{
    int canal = -1;
    QString pair;
    QList<Echange> echanges;
    // What Velorin sent on its own behalf (its shutdown notice), left out of the replies.
    QStringList avis;
    // The device it was held with; empty in a one-device journal.
    QString appareil;
    // Its journal line: the first event seen on it.
    qint64 ligne = 0;
};

// In order of first appearance. A connect on a channel starts a new conversation there;
// connections that exchanged nothing are kept, with no exchange. Channels are told apart by
// device: two devices may each have their channel 1.
QList<Conversation> conversations(const QList<EvenementLu>& evenements);
