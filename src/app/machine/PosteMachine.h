#pragma once

#include "app/Appareil.h"
#include "app/Demarrage.h"
#include "app/controle/ChampsControle.h"
#include "app/controle/Scenario.h"
#include "appareil/EtatAppareil.h"
#include "machine/DescriptionMachine.h"
#include "trace/Journal.h"

#include <memory>
#include <optional>

class Arret;
class JournalTrafic;
class SortieEvenementsAppareil;

// One device of a machine: its own log, model, device (fault engine, homing, channels) and the
// control API's view of its state, on the process's clock. Its log lines reach the process's
// log headed by its name.
class PosteMachine
{
public:
    PosteMachine(const DescriptionAppareil& description, HorlogeDispositif& horloge,
                 BoucleEpoll& boucle, Arret& arret);
    ~PosteMachine();

    const QString& nom() const { return description.nom; }
    const DescriptionAppareil& decrit() const { return description; }
    Journal& journal() { return journalAppareil; }
    EtatAppareil& etat() { return etatAppareil; }
    Appareil& appareil() { return appareilSimule; }
    ChampsControle& champs() { return champsControle; }
    Scenario& scenario() { return scenarioAppareil; }

    // Its state checked before anything listens: the field at fault and why, or nothing.
    std::optional<ChampsControle::Refus> verifieEtat() const;
    // Its events to the process's traffic journal, each naming it.
    void enregistreDans(JournalTrafic& journal);
    // Its relay or recorded replies in place; the reason it cannot serve otherwise.
    std::optional<QString> prepareTrafic(const std::function<bool()>& interrompu);
    // Listens, then takes its settings (state, framing, homing, rules); false when it cannot
    // (the reason said in the log and on standard error).
    bool demarre(bool trace, std::optional<quint64> graine);

private:
    const DescriptionAppareil description;
    Journal journalAppareil;
    EtatAppareil etatAppareil{journalAppareil};
    Appareil appareilSimule;
    Demarrage demarrage;
    ChampsControle champsControle;
    Scenario scenarioAppareil{appareilSimule, champsControle, journalAppareil};
    std::unique_ptr<SortieEvenementsAppareil> evenements;
};
