#pragma once

#include <QString>
#include <QtGlobal>

// Receives the events of the socket array, on the window thread, one at a time.
class EvenementsSocket
{
public:
    virtual ~EvenementsSocket() = default;

    // A client asks to connect to the listening element; requestID is handed to Accept.
    virtual void WSserveur_ConnectionRequest(int Index, qintptr requestID) = 0;
    virtual void WSserveur_DataArrival(int Index, qint64 bytesTotal) = 0;
    virtual void WSserveur_Error(int Index, int Number, const QString& Description) = 0;
    // The client of element Index has closed or reset its connection.
    virtual void WSserveur_Close(int /*Index*/) {}
    // The system took bytes queued on element Index; bytesRemaining still wait.
    virtual void WSserveur_SendProgress(int /*Index*/, qint64 /*bytesRemaining*/) {}
};

// The socket array WSserveur: element 0 listens, elements 1 and up carry one connection each.
// Every operation names its element, as WSserveur(Index).Operation would.
class CoucheSocket
{
public:
    // Socket states, as the State of an element reads them.
    enum Etat {
        Ferme = 0,
        Ouvert = 1,
        AEcoute = 2,
        ConnexionEnAttente = 3,
        ResolutionHote = 4,
        HoteResolu = 5,
        ConnexionEnCours = 6,
        Connecte = 7,
        FermetureParHomologue = 8,
        Erreur = 9,
    };
    // Error number of a channel the array closed itself because its client stopped reading:
    // the client did not close it.
    static constexpr int ErreurClientBloque = 10055;

    virtual ~CoucheSocket() = default;

    virtual void setEvenements(EvenementsSocket* evenements) = 0;

    // Creates element Index, closed and ready to accept; false when it cannot be created.
    virtual bool Load(int Index) = 0;
    // Destroys element Index (never the listener).
    virtual void Unload(int Index) = 0;
    virtual bool existe(int Index) const = 0;

    virtual void setLocalPort(int Index, qint32 port) = 0;
    virtual qint32 LocalPort(int Index) const = 0;
    // Starts listening; on failure, erreurListen() says why.
    virtual bool Listen(int Index) = 0;
    virtual QString erreurListen() const = 0;
    virtual QString LocalIP(int Index) const = 0;

    // 0 to 9; an element that does not exist reads closed.
    virtual int State(int Index) const = 0;
    virtual void Accept(int Index, qintptr requestID) = 0;
    virtual QString RemoteHostIP(int Index) const = 0;
    // Every byte received and not yet taken, one character per byte.
    virtual QString GetData(int Index) = 0;
    // Queues the text's bytes, one per character, for sending.
    virtual void SendData(int Index, const QString& donnees) = 0;
    virtual void Close(int Index) = 0;

    // Beyond the array's own operations, for the faults a test asks for.
    // Aborts the connection with a reset (RST); queued bytes are dropped.
    virtual void Abort(int Index) { Close(Index); }
    // Stops reading the element, or starts again; what arrives meanwhile waits in the system.
    virtual void SuspendLecture(int /*Index*/, bool /*suspendue*/) {}
    // Stops reading the element for someone else than the fault rules (the relay, while the
    // device falls behind), or starts again; what arrives meanwhile waits in the system.
    virtual void RetientLecture(int /*Index*/, bool /*retenue*/) {}
    // Bytes queued on the element that the system has not taken yet.
    virtual qint64 octetsEnAttente(int /*Index*/) const { return 0; }
    // The client's port, for the traffic journal; 0 when unknown.
    virtual quint16 RemotePort(int /*Index*/) const { return 0; }
};
