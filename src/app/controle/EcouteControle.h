#pragma once

#include "ConnexionControle.h"
#include "net/ServeurEcoute.h"

#include <QHostAddress>
#include <QObject>

class SortieMessages;

// The control port's listener. It bounds what clients may hold: so many connections at once,
// and never the process's last descriptors, which the device port needs. Past either bound a
// client is turned away at once; when accept() itself fails (descriptors short elsewhere) it
// rests a moment instead of retrying in a loop. Each episode is said once in the log.
class EcouteControle : public QObject
{
    Q_OBJECT

public:
    struct Bornes
    {
        int connexionsMax = 128;
        // Descriptors left to the rest of the program: more than the device port keeps for
        // itself, so that a crowd here never starves it.
        int reserveDescripteurs = 64;
        ConnexionControle::Bornes connexion;
    };

    explicit EcouteControle(QObject* parent = nullptr);

    void setBornes(const Bornes& b) { bornes = b; }
    void setJournal(SortieMessages* j) { journal = j; }
    bool ecoute(const QHostAddress& adresse, quint16 port);
    QString erreur() const { return serveur.errorString(); }
    quint16 port() const { return serveur.serverPort(); }
    void arrete() { serveur.close(); }
    int connexions() const { return ouvertes; }

signals:
    void nouvelle(ConnexionControle* connexion);
    // One of its connections ended.
    void finie();

private:
    void demande(qintptr descripteur);
    void erreurAcceptation(QAbstractSocket::SocketError erreur);
    void dit(const QString& texte);

    ServeurEcoute serveur;
    Bornes bornes;
    SortieMessages* journal = nullptr;
    int limiteDescripteurs;
    int ouvertes = 0;
    bool refusEnCours = false;
    bool acceptationEnPanne = false;
};
