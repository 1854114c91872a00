#pragma once

#include "PosteMachine.h"
#include "app/Arret.h"
#include "app/FichierPret.h"
#include "app/LigneCommande.h"
#include "sim/HorlogeDispositif.h"
#include "trace/Journal.h"
#include "trace/RetardTic.h"

#include <memory>
#include <optional>
#include <vector>

class ApiControle;
class EnregistrementTrafic;
class FenetreMachine;
class MiroirSortie;

// MACHINE=: every device a machine file describes, served by this one process. Each device has
// its own model, log and fault engine (see PosteMachine); the process has one device clock
// that ticks them all from one timer, one log (each device's lines headed "[name] "), one
// traffic journal (each device's events naming it), one control API and one ready file.
class ProgrammeMachine
{
public:
    ProgrammeMachine(const LigneCommande& parametres, bool sansEcran);
    ~ProgrammeMachine();

    // Start-up in full, up to the ready file; false when the program cannot serve (status 1).
    bool demarre();
    // Start-up, then the event loop until the end; the exit status.
    int execute();

    Arret& arret() { return arretProgramme; }
    Journal& journal() { return journalMessages; }
    // None without a display.
    FenetreMachine* fenetre() { return fenetreMachine.get(); }

private:
    bool echec(const QString& raison);
    bool litMachine();
    bool prendReglages();
    bool creePostes();
    void relaieLignesAppareils();
    void creeFenetre();
    bool ouvreMiroir();
    bool ouvreTrafic();
    bool ecritPret();
    void tic();

    LigneCommande parametres;
    const bool sansEcran;
    Journal journalMessages;
    RetardTic retardDeplacement{HorlogeDispositif::PeriodeMs};
    HorlogeDispositif horloge;
    // Process-wide: one epoll set for every device's sockets.
    BoucleEpoll boucle;
    std::optional<DescriptionMachine> description;
    std::vector<std::unique_ptr<PosteMachine>> postes;
    Arret arretProgramme;
    // Set while a device's line is copied into the process's log: the journal has it already.
    bool relaiEnCours = false;
    std::unique_ptr<FenetreMachine> fenetreMachine;
    std::unique_ptr<MiroirSortie> miroir;
    std::unique_ptr<EnregistrementTrafic> enregistrement;
    std::unique_ptr<ApiControle> apiControle;
    std::optional<FichierPret> pret;
};
