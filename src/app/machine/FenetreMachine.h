#pragma once

#include <QWidget>

#include <memory>
#include <vector>

class FenetrePrincipale;
class PosteMachine;
class QComboBox;
class QVBoxLayout;

// The window of a machine: a selector of its devices (name, mode, port) above the console of
// the one selected, its model and its own log lines. One console at a time, made when its
// device is selected, so that a machine of a thousand devices costs one.
class FenetreMachine : public QWidget
{
    Q_OBJECT

public:
    FenetreMachine(const std::vector<std::unique_ptr<PosteMachine>>& postes, const QString& fichier,
                   QWidget* parent = nullptr);
    ~FenetreMachine() override;

    // The device shown, from 0.
    void selectionne(int index);
    // The console shown now.
    FenetrePrincipale* console() { return consoleAppareil; }
    // The selector's entries brought up to the devices (their ports once they listen, their
    // modes as they change).
    void actualiseListe();

signals:
    // The window is closing, whatever asked it to: the program's shutdown runs now.
    void fermetureDemandee();

protected:
    void closeEvent(QCloseEvent* evenement) override;

private:
    const std::vector<std::unique_ptr<PosteMachine>>& postes;
    QComboBox* selecteur = nullptr;
    QVBoxLayout* disposition = nullptr;
    FenetrePrincipale* consoleAppareil = nullptr;
};
