#include "CommandeRapport.h"

#include "VersionPelorane.h"
#ifndef PELORANE_SANS_GRAPHIQUES
#include "app/RapportActivite.h"
#endif
#include "base/CheminAffiche.h"

#include <QCommandLineParser>
#include <QDate>
#include <QDateTime>

#include <cstdio>

namespace {

// Au plus un an de pages par rapport.
constexpr qint64 JoursMax = 366;

[[maybe_unused]] bool LitDate(const QString& texte, const char* option, QDate* date)
{
    *date = QDate::fromString(texte, QStringLiteral("yyyy-MM-dd"));
    if (date->isValid())
        return true;
    std::fprintf(stderr, "date incorrecte pour %s : %s (attendu AAAA-MM-JJ)\n", option, qUtf8Printable(texte));
    return false;
}

} // namespace

CommandeRapport::CommandeRapport(QCommandLineParser& analyseur)
    : m_analyseur(analyseur)
    , m_rapport(QStringLiteral("rapport"),
                QStringLiteral("N'ouvre pas de service : écrit le rapport d'activité (une page A4 par jour, avec "
                               "graphiques) tiré du registre, en lecture seule. Avec --pdf."))
    , m_du(QStringLiteral("du"),
           QStringLiteral("Avec --rapport : premier jour (défaut : aujourd'hui, ou le jour de --au s'il est passé)."),
           QStringLiteral("AAAA-MM-JJ"))
    , m_au(QStringLiteral("au"),
           QStringLiteral("Avec --rapport : dernier jour (défaut : aujourd'hui, ou le jour de --du s'il est à venir)."),
           QStringLiteral("AAAA-MM-JJ"))
    , m_pdf(QStringLiteral("pdf"), QStringLiteral("Avec --rapport : fichier PDF à écrire."),
            QStringLiteral("FICHIER"))
{
    analyseur.addOption(m_rapport);
    analyseur.addOption(m_du);
    analyseur.addOption(m_au);
    analyseur.addOption(m_pdf);
}

int CommandeRapport::Traite(const QString& registre) const
{
    if (m_analyseur.isSet(m_rapport))
        return Execute(registre);
    if (m_analyseur.isSet(m_du) || m_analyseur.isSet(m_au) || m_analyseur.isSet(m_pdf)) {
        std::fprintf(stderr, "--du, --au et --pdf ne vont qu'avec --rapport\n");
        return 64;
    }
    return -1;
}

QString CommandeRapport::Pied(const QString& registre)
{
    return QStringLiteral("Pelorane %1 - registre %2 - fait le %3")
        .arg(QStringLiteral(PELORANE_VERSION_TEXTE), CheminAffiche(registre),
             QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
}

int CommandeRapport::Execute(const QString& registre) const
{
#ifdef PELORANE_SANS_GRAPHIQUES
    // Construction sans Qt Charts (licence) : la ligne de commande reste la même, le rapport manque.
    Q_UNUSED(registre);
    std::fprintf(stderr, "le rapport d'activité n'est pas dans cette construction de Pelorane (sans Qt Charts)\n");
    return 1;
#else
    if (!m_analyseur.isSet(m_pdf) || m_analyseur.value(m_pdf).isEmpty()) {
        std::fprintf(stderr, "--rapport demande --pdf FICHIER\n");
        return 64;
    }
    const QDate aujourdhui = QDate::currentDate();
    QDate du = aujourdhui, au = aujourdhui;
    if (m_analyseur.isSet(m_du) && !LitDate(m_analyseur.value(m_du), "--du", &du))
        return 64;
    if (m_analyseur.isSet(m_au) && !LitDate(m_analyseur.value(m_au), "--au", &au))
        return 64;
    if (!m_analyseur.isSet(m_au) && du > au)
        au = du;
    if (!m_analyseur.isSet(m_du) && au < du)
        du = au;
    if (du > au || du.daysTo(au) >= JoursMax) {
        std::fprintf(stderr, "période incorrecte : du %s au %s (au plus %lld jours, --du avant --au)\n",
                     qUtf8Printable(du.toString(Qt::ISODate)), qUtf8Printable(au.toString(Qt::ISODate)),
                     static_cast<long long>(JoursMax));
        return 64;
    }
    QList<StatistiquesJour> jours;
    QString erreur;
    if (!RapportActivite::Prepare(registre, du, au, &jours, &erreur)) {
        std::fprintf(stderr, "impossible de lire le registre des remises %s : %s\n",
                     qUtf8Printable(CheminAffiche(registre)), qUtf8Printable(erreur));
        return 1;
    }
    const QString pdf = m_analyseur.value(m_pdf);
    if (!RapportActivite::EcritPdf(pdf, jours, Pied(registre), &erreur)) {
        std::fprintf(stderr, "impossible d'écrire le rapport %s : %s\n", qUtf8Printable(CheminAffiche(pdf)),
                     qUtf8Printable(erreur));
        return 1;
    }
    std::printf("rapport écrit : %s (%lld page%s)\n", qUtf8Printable(CheminAffiche(pdf)),
                static_cast<long long>(jours.size()), jours.size() > 1 ? "s" : "");
    return 0;
#endif
}
