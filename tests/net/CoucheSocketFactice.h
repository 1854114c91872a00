#pragma once

#include "net/CoucheSocket.h"
#include "net/PanneauServeur.h"

#include <QStringList>

#include <functional>
#include <map>
#include <ostream>
#include <utility>

// Readable failures: GoogleTest finds this beside QString.
inline void PrintTo(const QString& texte, std::ostream* os)
{
    *os << '"' << texte.toStdString() << '"';
}

// A socket array whose states the test sets by hand. Every operation that changes an element
// is written to `operations`; `passe()` stands for the window's event pass and runs the
// one-shot `crochet`, so that a test can place a nested event exactly where a pass happens.
class CoucheSocketFactice : public CoucheSocket
{
public:
    std::map<int, int> etats{{0, AEcoute}}; // by element number; a missing one reads closed
    std::map<int, QStringList> envoyes;
    std::map<int, QString> recus;
    QStringList operations;
    bool chargementImpossible = false;
    std::function<void()> crochet;
    int passes = 0;

    void passe()
    {
        ++passes;
        if (auto f = std::exchange(crochet, {}))
            f();
    }

    void setEvenements(EvenementsSocket*) override {}
    bool Load(int Index) override
    {
        operations << QStringLiteral("Load %1").arg(Index);
        if (chargementImpossible)
            return false;
        etats[Index] = Ferme;
        return true;
    }
    void Unload(int Index) override
    {
        operations << QStringLiteral("Unload %1").arg(Index);
        etats.erase(Index);
    }
    bool existe(int Index) const override { return etats.count(Index) != 0; }
    void setLocalPort(int, qint32) override {}
    qint32 LocalPort(int) const override { return 10001; }
    bool Listen(int) override { return true; }
    QString erreurListen() const override { return {}; }
    QString LocalIP(int) const override { return QStringLiteral("192.168.0.5"); }

    int State(int Index) const override
    {
        const auto it = etats.find(Index);
        return it == etats.end() ? Ferme : it->second;
    }
    void Accept(int Index, qintptr requestID) override
    {
        operations << QStringLiteral("Accept %1 %2").arg(Index).arg(requestID);
        if (existe(Index) && State(Index) == Ferme)
            etats[Index] = Connecte;
    }
    QString RemoteHostIP(int Index) const override
    {
        return QStringLiteral("10.0.0.%1").arg(Index);
    }
    QString GetData(int Index) override
    {
        auto recu = recus.extract(Index);
        return recu ? recu.mapped() : QString();
    }
    void SendData(int Index, const QString& donnees) override
    {
        operations << QStringLiteral("SendData %1").arg(Index);
        envoyes[Index] << donnees;
    }
    void Close(int Index) override
    {
        operations << QStringLiteral("Close %1").arg(Index);
        if (existe(Index))
            etats[Index] = Ferme;
    }
};

class PanneauServeurFactice : public PanneauServeur
{
public:
    QStringList lignes;
    bool traceIP = false;
    QString legende;
    quint32 fond = 0;

    void AfficheMessage(const QString& message) override { lignes << message; }
    bool Chk_TraceIP() const override { return traceIP; }
    void setLbl_LiaisonValide(const QString& l, quint32 f) override
    {
        legende = l;
        fond = f;
    }
};
