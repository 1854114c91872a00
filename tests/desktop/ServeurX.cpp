#include "ServeurX.h"

ServeurX::ServeurX() = default;

ServeurX::~ServeurX()
{
    if (xvfb.state() != QProcess::NotRunning) {
        xvfb.terminate();
        if (!xvfb.waitForFinished(3000))
            xvfb.kill();
    }
}

bool ServeurX::demarre()
{
    // Xvfb picks a free display itself and writes its number once it is ready, so tests
    // started side by side never share one.
    xvfb.start(QStringLiteral("Xvfb"),
               {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp")});
    if (!xvfb.waitForStarted(5000))
        return false;
    QByteArray sortie;
    while (!sortie.contains('\n') && xvfb.waitForReadyRead(10000))
        sortie += xvfb.readAllStandardOutput();
    bool ok = false;
    numero = sortie.trimmed().toInt(&ok);
    return ok && xvfb.state() == QProcess::Running;
}
