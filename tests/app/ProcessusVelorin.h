#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

// Deadlines sized for the sanitizer build on a busy machine: they bound a wait, they are not
// what a test measures.
constexpr int AttenteMs = 60000;

// The real program, started headless on a port the system picks, with its log mirrored to
// stdout; ready when its ready file appears.
class ProcessusVelorin
{
public:
    QProcess processus;
    QStringList lignes;
    QTemporaryDir dossier;
    QJsonObject pret; // the ready file's content
    quint16 port = 0;

    QString fichierPret() const { return dossier.filePath(QStringLiteral("pret.json")); }

    static bool attend(const std::function<bool()>& condition, int ms = AttenteMs)
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

    // Starts and waits until it serves, as a test rig would: for its ready file.
    bool demarre(const QStringList& autres = {}, const QProcessEnvironment& env = sansEcran())
    {
        lance(QStringList{QStringLiteral("portip=0"), QStringLiteral("log=stdout"),
                          QStringLiteral("ready=") + fichierPret()}
                  + autres,
              env);
        if (!attend([&] {
                return QFile::exists(fichierPret()) || processus.state() == QProcess::NotRunning;
            }))
            return false;
        QFile fichier(fichierPret());
        if (!fichier.open(QIODevice::ReadOnly))
            return false;
        pret = QJsonDocument::fromJson(fichier.readAll()).object();
        port = quint16(pret.value(QStringLiteral("port")).toInt());
        return processus.state() == QProcess::Running && port != 0;
    }
    quint16 portControle() const
    {
        return quint16(pret.value(QStringLiteral("control_port")).toInt());
    }

    bool attendLigne(const QString& ligne, int ms = AttenteMs)
    {
        return attend([&] { return lignes.contains(ligne); }, ms);
    }

    bool attendMotif(const QString& motif, int ms = AttenteMs)
    {
        const QRegularExpression re(motif);
        return attend([&] { return !lignes.filter(re).isEmpty(); }, ms);
    }

    bool termine(int ms = AttenteMs)
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
