#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP into a signal on the event loop, so that they close the window
// like the operator would. The handler only writes a byte to a pipe.
class ArretSurSignal : public QObject
{
    Q_OBJECT

public:
    explicit ArretSurSignal(QObject* parent = nullptr);
    ~ArretSurSignal() override;

    // A signal has come, whether the event loop has run since or not: start-up, which reads
    // files before the loop runs, asks this between its waits.
    bool recu() const;

signals:
    void arretDemande();

private:
    static void gestionnaire(int signal);

    QSocketNotifier* notificateur = nullptr;
};
