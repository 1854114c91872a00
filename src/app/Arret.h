#pragma once

#include <QObject>

class FenetrePrincipale;
class ServeurCanaux;

// The program's end. Whatever closes the window (the Exit button, the close box, a signal),
// it runs once: every connected client is warned, every element closed, then a pause lets
// pending socket events still be handled. A signal (SIGTERM, SIGINT, SIGHUP) closes the window
// at once, also with a message box open or during that pause.
class Arret : public QObject
{
    Q_OBJECT

public:
    Arret(FenetrePrincipale& fenetre, ServeurCanaux& serveur, QObject* parent = nullptr);

    // What a signal asks for. During start-up the window is closed once start-up stops.
    void demandeArret();
    bool estDemande() const { return demande; }
    void setDemarrageEnCours(bool enCours) { demarrageEnCours = enCours; }
    // Start-up failed: nothing listens, there is nothing to close.
    void renonce() { faite = true; }

private:
    void Form_Unload();

    FenetrePrincipale& fenetre;
    ServeurCanaux& serveur;
    bool faite = false;
    bool demande = false;
    bool demarrageEnCours = false;
};
