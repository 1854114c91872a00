#include "FiltreMessagesQt.h"

#include <QString>
#include <QtGlobal>

namespace {

QtMessageHandler precedent = nullptr;

bool sansInteret(const QString& message)
{
    return message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))
           || message.contains(QLatin1String("does not support propagateSizeHints()"));
}

void filtre(QtMsgType type, const QMessageLogContext& contexte, const QString& message)
{
    if (type == QtWarningMsg && sansInteret(message))
        return;
    if (precedent != nullptr)
        precedent(type, contexte, message);
}

} // namespace

void filtreMessagesQt()
{
    precedent = qInstallMessageHandler(&filtre);
}
