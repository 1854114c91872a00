#pragma once

#include "RequeteControle.h"

#include <QByteArray>
#include <QHttpServerResponse>
#include <QObject>
#include <QTimer>

class QTcpSocket;

// One HTTP/1.1 connection of the control API. It reads a request within fixed bounds (its
// header section, its body) and refuses past them without reading the rest, hands each whole
// request on, and writes its answer whenever it comes: at once, or later for a wait. One
// request is served at a time; the next ones wait in the socket, which stops being read, so
// what a client sends ahead costs at most the socket's buffer. A connection that sends nothing
// (or never finishes a request) for too long is closed.
class ConnexionControle : public QObject
{
    Q_OBJECT

public:
    struct Bornes
    {
        qint64 corpsMax = 1024 * 1024;
        qint64 enTeteMax = 64 * 1024;
        int inactiviteMs = 30000;
    };

    // Takes the socket over.
    ConnexionControle(QTcpSocket* socket, const Bornes& bornes, QObject* parent = nullptr);
    ~ConnexionControle() override;

    // The answer to request `numero`; ignored if that request is no longer the one served.
    void repond(quint64 numero, const QHttpServerResponse& reponse);
    // Whether request `numero` still waits for its answer.
    bool attend(quint64 numero) const { return enCours == numero && enCours != 0; }
    // Answers the request being served, if any, then closes.
    void termine(const QHttpServerResponse& reponse);
    // Writes what it can of its output now, without waiting.
    void vide();
    // Request `numero` is answered by a stream: the header section goes out, the connection
    // reads no more requests and ends when the client goes. The socket, to write the stream
    // on, or null if that request is no longer the one served.
    QTcpSocket* ouvreFlux(quint64 numero, const QByteArray& enTete);

signals:
    void requete(const RequeteControle& requete, quint64 numero);
    // The connection is over; the object goes at the next turn of the event loop.
    void finie();

private:
    enum class Etat { EnTete, Corps, Servie, Flux, Rejet, Fin };

    void lit();
    void analyseEnTete(qsizetype fin);
    void termineCorps();
    void ecrit(const QHttpServerResponse& reponse, bool fermer);
    // Refuses what is being read: the answer, then whatever still comes is read and dropped
    // until the client goes (or a few seconds pass), so that it gets the answer, not a reset.
    void rejette(const QHttpServerResponse& reponse);
    void inactif();
    void fin();

    QTcpSocket* socket;
    const Bornes bornes;
    Etat etat = Etat::EnTete;
    QByteArray entree;
    RequeteControle::Methode methode = RequeteControle::Methode::Autre;
    QByteArray nomMethode;
    QByteArray cible;
    qint64 longueurCorps = 0;
    RequeteControle::EnTetes enTetes;
    bool garder = true;
    quint64 prochain = 1;
    quint64 enCours = 0;
    bool terminee = false;
    QTimer inactivite;
};
