#include "ServeurX.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

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
    for (int essai = 90; essai < 190; ++essai) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(essai))
            || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(essai)))
            continue;
        xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(essai), QStringLiteral("-screen"),
                                            QStringLiteral("0"), QStringLiteral("1024x768x24"),
                                            QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb.waitForStarted(3000))
            return false;
        // Ready once its socket is there; a display taken meanwhile makes it stop.
        QDeadlineTimer limite(5000);
        while (!limite.hasExpired() && xvfb.state() == QProcess::Running
               && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(essai)))
            QThread::msleep(20);
        if (xvfb.state() == QProcess::Running) {
            numero = essai;
            return true;
        }
    }
    return false;
}
