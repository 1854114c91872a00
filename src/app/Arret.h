#pragma once

#include <QObject>
#include <QString>

#include <optional>

#include <functional>

class ServeurCanaux;

// The program's end. Whatever asks for it (the window's Exit button or close box, a signal), it
// runs once: every connected client is warned, every element closed, then a pause lets pending
// socket events still be handled. A signal (SIGTERM, SIGINT, SIGHUP) ends the program at once,
// also with a message box open or during that pause. With a window, the end is its closing;
// without one, the event loop is left.
class Arret : public QObject
{
    Q_OBJECT

public:
    // The pause's default, and the longest one SHUTDOWN_PAUSE_MS= may ask for.
    static constexpr int PauseMaxMs = 500;

    explicit Arret(ServeurCanaux& serveur, QObject* parent = nullptr);
    // Several devices: `fermeServeurs` warns and closes every one of them.
    explicit Arret(std::function<void()> fermeServeurs, QObject* parent = nullptr);

    // How the window is closed, when there is one: its closing then calls ferme().
    void setFermeFenetre(std::function<void()> fermeture) { fermeFenetre = std::move(fermeture); }

    // "SHUTDOWN_PAUSE_MS=": milliseconds from 0 to PauseMaxMs, digits only; nothing otherwise.
    static std::optional<int> pauseValide(const QString& texte);
    // A rig that stops many instances in a row may shorten the pause (0: one pass of events).
    void setPauseMs(int ms) { pauseMs = ms; }

    // What a signal asks for. During start-up the program ends once start-up stops.
    void demandeArret();
    // The end, now: the window closed, or the shutdown run and the event loop left.
    void termine();
    // The shutdown itself, once however often it is asked for; fermeture() follows each time.
    void ferme();
    bool estDemande() const { return demande; }
    void setDemarrageEnCours(bool enCours) { demarrageEnCours = enCours; }
    // Says whether a signal has come, before the event loop runs (see ArretSurSignal::recu).
    void setSignalRecu(std::function<bool()> recu) { signalRecu = std::move(recu); }
    // Start-up asks this while it waits on a file: a signal come meanwhile is taken as a stop
    // asked, and start-up ends early.
    bool arretSignale()
    {
        if (!demande && signalRecu && signalRecu())
            demande = true;
        return demande;
    }
    // Start-up failed: nothing listens, there is nothing to close.
    void renonce() { faite = true; }

signals:
    // The program is closing: what still waits is answered now.
    void fermeture();

private:
    void Form_Unload();

    std::function<void()> fermeFenetre;
    std::function<void()> fermeServeurs;
    int pauseMs = PauseMaxMs;
    bool faite = false;
    bool demande = false;
    bool demarrageEnCours = false;
    std::function<bool()> signalRecu;
};
