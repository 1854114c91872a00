#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>

// The real program, started headless on a free port with its log mirrored to stdout.
class ProcessusVelorin
{
public:
    QProcess processus;
    QStringList lignes;

    static quint16 portLibre()
    {
        QTcpServer essai;
        essai.listen(QHostAddress::AnyIPv4, 0);
        return essai.serverPort();
    }

    static bool attend(const std::function<bool()>& condition, int ms = 5000)
    {
        QDeadlineTimer limite(ms);
        while (!condition() && !limite.hasExpired())
            QTest::qWait(5);
        return condition();
    }

    static QProcessEnvironment sansEcran()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        return env;
    }

    void lance(const QStringList& arguments, const QProcessEnvironment& env = sansEcran())
    {
        processus.setProcessEnvironment(env);
        QObject::connect(&processus, &QProcess::readyReadStandardOutput, [this] { lit(); });
        processus.start(QStringLiteral(VELORIN_BINARY), arguments);
    }

    // Starts and waits until it serves.
    bool demarre(quint16 port, const QStringList& autres = {})
    {
        lance(QStringList{QStringLiteral("portip=%1").arg(port), QStringLiteral("log=stdout")}
              + autres);
        return attendLigne(QStringLiteral("en attente de communication ..."));
    }

    bool attendLigne(const QString& ligne, int ms = 5000)
    {
        return attend([&] { return lignes.contains(ligne); }, ms);
    }

    bool attendMotif(const QString& motif, int ms = 5000)
    {
        const QRegularExpression re(motif);
        return attend([&] { return !lignes.filter(re).isEmpty(); }, ms);
    }

    bool termine(int ms = 5000)
    {
        return attend([&] { return processus.state() == QProcess::NotRunning; }, ms);
    }

    ~ProcessusVelorin()
    {
        if (processus.state() != QProcess::NotRunning) {
            processus.kill();
            processus.waitForFinished(2000);
        }
    }

private:
    void lit()
    {
        tampon += processus.readAllStandardOutput();
        qsizetype fin;
        while ((fin = tampon.indexOf('\n')) >= 0) {
            lignes << QString::fromUtf8(tampon.left(fin));
            tampon.remove(0, fin + 1);
        }
    }

    QByteArray tampon;
};

// A host connected to Velorin.
class Hote
{
public:
    QTcpSocket socket;
    QByteArray recu;

    bool connecte(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return ProcessusVelorin::attend(
            [&] { return socket.state() == QAbstractSocket::ConnectedState; });
    }

    // Sends a request and waits for n bytes of answer.
    QByteArray echange(const QByteArray& requete, qsizetype n)
    {
        recu.clear();
        socket.write(requete);
        ProcessusVelorin::attend([&] {
            recu += socket.readAll();
            return recu.size() >= n;
        });
        return recu;
    }
};
