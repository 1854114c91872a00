#pragma once

#include "GenerateurAleatoire.h"

#include <QString>

class Horloge;
class PanneauSimulation;

// The OMRON PLC that drives the X and Z axes. One received text is one request frame
// (ESC, command letter, tag character, data, CR); the answer is at most one reply frame and
// one log line. The PLC's state lives in the device's model.
class ContraintesAppareil;

class AutomateOmron
{
public:
    AutomateOmron(PanneauSimulation& panneau, const Horloge& horloge);

    // Returns the reply frame, empty when the request gets no answer.
    QString traite(const QString& strData);

    void reinitialise() { generateur = GenerateurAleatoire(); }
    // The PLC's faults a register read answers to.
    void setDefauts(ContraintesAppareil* contraintes) { defauts = contraintes; }

private:
    QString version(QChar tag);
    QString position(QChar tag);
    QString memoGoulotte(const QString& strData, QChar tag);
    QString deplacement(const QString& strData, QChar tag);
    QString homing(const QString& strData, QChar tag);
    QString jog(const QString& strData, QChar tag);
    QString registre(const QString& strData);

    // Logs a request whose numeric field is not a number: the host's fault, shown as received.
    void requeteIgnoree(const QString& raison, const QString& strData);
    QString ts() const;

    PanneauSimulation& panneau;
    const Horloge& horloge;
    GenerateurAleatoire generateur;
    ContraintesAppareil* defauts = nullptr;
};
