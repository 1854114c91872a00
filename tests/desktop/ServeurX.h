#pragma once

#include <QProcess>
#include <QString>

// An X server of the test's own (Xvfb) on a free display number, stopped with the object.
class ServeurX
{
public:
    ServeurX();
    ~ServeurX();
    bool demarre();
    QString display() const { return QStringLiteral(":%1").arg(numero); }

private:
    QProcess xvfb;
    int numero = -1;
};
