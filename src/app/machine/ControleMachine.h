#pragma once

#include <QJsonArray>

#include <functional>

#include <memory>
#include <vector>

class ApiControle;
class Appareil;
class Arret;
class EnregistrementTrafic;
class HorlogeDispositif;
class Journal;
class PosteMachine;
class RetardTic;

// What the control API of a machine reads and drives.
struct SourcesControleMachine
{
    const std::vector<std::unique_ptr<PosteMachine>>& postes;
    HorlogeDispositif& horloge;
    RetardTic& retard;
    Journal& journal;
    EnregistrementTrafic* enregistrement;
    Arret& arret;
    // Log lines the log's mirror dropped: process-wide.
    std::function<qint64()> lignesPerdues;
};

// The control API of a machine: every device's resources under /devices/<name>/..., the first
// device's also at the flat paths, and the process's own (/clock, /journal, /health, /devices).
std::unique_ptr<ApiControle> creeControleMachine(const SourcesControleMachine& sources);

// Clients connected to the device's port.
int clientsConnectes(const Appareil& appareil);
