#pragma once

#include "trace/Horloge.h"

// A clock that tells what the test sets. millisecondes() advances by what dormirMs() sleeps,
// plus `derive` on every read, so that pauses can be run without waiting.
class HorlogeFigee : public Horloge
{
public:
    QDate date{2026, 12, 7};
    QTime heure{8, 54, 28};
    float secondes = 32068.3f;
    mutable double ms = 1000.0;
    double derive = 0.0;
    mutable int sommeils = 0;

    QDate dateDuJour() const override { return date; }
    QTime heureDuJour() const override { return heure; }
    float secondesDepuisMinuit() const override { return secondes; }
    double millisecondes() const override
    {
        ms += derive;
        return ms;
    }
    void dormirMs(int duree) const override
    {
        ++sommeils;
        ms += duree;
    }
};
