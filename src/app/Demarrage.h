#pragma once

#include <QString>

class Appareil;
class Arret;
class EtatAppareil;
class FenetrePrincipale;
struct LigneCommande;

// The program's start from its command line: the window, when there is one, shown and titled,
// the mode and the port written into the device's state, the listener opened, each step logged.
class Demarrage
{
public:
    // fenetre: none when no window can be shown.
    Demarrage(EtatAppareil& etat, FenetrePrincipale* fenetre, Appareil& appareil, Arret& arret,
              bool sansEcran);

    // False when the program cannot listen: the reason is in the log and on standard error.
    // A stop asked while the "?" box was open ends it early, with true.
    bool Form_Load(const LigneCommande& parametres);

    // The program does not go on pretending to serve: the operator and any script that
    // started it are told why, and the caller ends the program with status 1.
    void signaleEchec(const QString& raison);
    // One device of a machine: its name heads what standard error is told.
    void setNom(const QString& n) { nom = n; }

private:
    EtatAppareil& etat;
    FenetrePrincipale* fenetre;
    Appareil& appareil;
    Arret& arret;
    bool sansEcran;
    QString nom;
};
