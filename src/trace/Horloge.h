#pragma once

#include <QDate>
#include <QTime>

// Every clock the program reads, behind one interface so that tests can pin the time.
class Horloge
{
public:
    virtual ~Horloge() = default;

    virtual QDate dateDuJour() const = 0;
    virtual QTime heureDuJour() const = 0;
    // Seconds elapsed since local midnight, in single precision: the stamp's tenths come from it.
    virtual float secondesDepuisMinuit() const = 0;
    // A steady millisecond counter from an arbitrary origin; it never goes back.
    virtual double millisecondes() const = 0;
    virtual void dormirMs(int ms) const = 0;
};

class HorlogeSysteme final : public Horloge
{
public:
    QDate dateDuJour() const override;
    QTime heureDuJour() const override;
    float secondesDepuisMinuit() const override;
    double millisecondes() const override;
    void dormirMs(int ms) const override;

    // The one system clock of the process.
    static const HorlogeSysteme& instance();
};
