#pragma once

#include <QTcpServer>

#include <functional>

// The listening element: hands each pending connection's descriptor on as it comes.
class ServeurEcoute : public QTcpServer
{
    Q_OBJECT

public:
    using Demande = std::function<void(qintptr)>;

    explicit ServeurEcoute(Demande surDemande, QObject* parent = nullptr);

protected:
    void incomingConnection(qintptr descripteur) override;

private:
    Demande surDemande;
};
