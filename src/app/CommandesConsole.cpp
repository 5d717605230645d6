#include "CommandesConsole.h"

#include "base/CheminAffiche.h"
#include "orders/HistoriqueRemises.h"
#include "orders/LecteurHistorique.h"
#include "service/InstanceUnique.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

int MontreHistorique(const QString& registre, const QString& depuis, bool csv)
{
    qint64 depuisMs = 0;
    if (!depuis.isEmpty()) {
        const QDate date = QDate::fromString(depuis, QStringLiteral("yyyy-MM-dd"));
        if (!date.isValid()) {
            std::fprintf(stderr, "date incorrecte pour --depuis : %s (attendu AAAA-MM-JJ)\n", qUtf8Printable(depuis));
            return 64;
        }
        depuisMs = date.startOfDay().toMSecsSinceEpoch();
    }
    QList<LecteurHistorique::Ligne> lignes;
    QString erreur;
    if (!LecteurHistorique::Lit(registre, depuisMs, &lignes, &erreur)) {
        std::fprintf(stderr, "impossible de lire le registre des remises %s : %s\n",
                     qUtf8Printable(CheminAffiche(registre)), qUtf8Printable(erreur));
        return 1;
    }
    const QByteArray texte = csv ? HistoriqueRemises::Csv(lignes) : HistoriqueRemises::Tableau(lignes);
    std::fwrite(texte.constData(), 1, size_t(texte.size()), stdout);
    return 0;
}

int DemandeAction(const QString& racine, const QString& racineDonnee, const QString& action)
{
    // Une racine absente n'a pas de copie en marche ; la demande ne la crée jamais.
    if (!QFileInfo(racine).isDir()) {
        std::fprintf(stderr, "aucune copie de pelorane ne tourne pour la racine %s\n", qUtf8Printable(racineDonnee));
        return 1;
    }
    InstanceUnique instance(racine);
    if (!instance.InstancePrecedente() || !instance.ActiveInstancePrecedente(QStringLiteral("action ") + action)) {
        std::fprintf(stderr, "aucune copie de pelorane ne tourne pour la racine %s\n", qUtf8Printable(racineDonnee));
        return 1;
    }
    return 0;
}
