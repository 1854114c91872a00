#pragma once

#include "Appareil.h"
#include "Arret.h"
#include "Demarrage.h"
#include "FenetrePrincipale.h"
#include "FichierPret.h"
#include "LigneCommande.h"
#include "appareil/EtatAppareil.h"
#include "trace/Journal.h"

#include <memory>
#include <optional>

class ApiControle;
class EnregistrementTrafic;
class ChampsControle;
class Scenario;
class MiroirSortie;

// The whole program put together: the log, the device's state and the device that serves it,
// the window that shows both when a window can be shown, start-up and shutdown, and what the
// command line adds (the log's mirror, the control API, the ready file).
class Programme
{
public:
    // The end of a run whose traffic journal lost events.
    static constexpr int StatutJournalIncomplet = 3;

    // sansEcran: no window can be shown (no display, or the offscreen or minimal platform);
    // then no widget is made at all.
    Programme(const LigneCommande& parametres, bool sansEcran);
    ~Programme();

    // Start-up in full, up to the ready file; false when the program cannot serve (status 1).
    bool demarre();
    // Start-up, then the event loop until the window closes; the exit status.
    int execute();

    Journal& journal() { return journalMessages; }
    EtatAppareil& etat() { return etatAppareil; }
    // None without a window.
    FenetrePrincipale* fenetre() { return fenetrePrincipale.get(); }
    Appareil& appareil() { return appareilSimule; }
    Arret& arret() { return arretProgramme; }
    ApiControle* controle() { return apiControle.get(); }
    // The one device of a run without MACHINE=, named as a machine's devices are.
    static QString nomAppareil() { return QStringLiteral("default"); }

private:
    bool ouvreMiroir();
    bool ouvreTrafic();
    bool reglagesDeDepart();
    QString titre() const;
    void creeControle();

    const LigneCommande parametres;
    const bool sansEcran;
    Journal journalMessages;
    EtatAppareil etatAppareil{journalMessages};
    Appareil appareilSimule{etatAppareil, etatAppareil};
    Arret arretProgramme{appareilSimule.serveur()};
    std::unique_ptr<FenetrePrincipale> fenetrePrincipale{
        sansEcran ? nullptr : std::make_unique<FenetrePrincipale>(journalMessages, etatAppareil)};
    Demarrage demarrage{etatAppareil, fenetrePrincipale.get(), appareilSimule, arretProgramme,
                        sansEcran};
    std::unique_ptr<MiroirSortie> miroir;
    std::unique_ptr<EnregistrementTrafic> enregistrement;
    std::unique_ptr<ChampsControle> champsControle;
    std::unique_ptr<Scenario> scenario;
    std::unique_ptr<ApiControle> apiControle;
    std::optional<FichierPret> pret;
};
