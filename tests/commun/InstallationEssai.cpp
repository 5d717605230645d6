#include "InstallationEssai.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace {
const QString Connexion = QStringLiteral("installation-essai");

template<typename F>
auto AvecBase(const QString& chemin, F f)
{
    decltype(f(std::declval<QSqlDatabase&>())) resultat{};
    {
        QSqlDatabase base = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connexion);
        base.setDatabaseName(chemin);
        if (base.open())
            resultat = f(base);
        base.close();
    }
    QSqlDatabase::removeDatabase(Connexion);
    return resultat;
}
} // namespace

InstallationEssai::InstallationEssai()
{
    QDir(m_dossier.path()).mkpath(QStringLiteral("racine"));
    QDir(m_dossier.path()).mkpath(QStringLiteral("reglages"));
}

QString InstallationEssai::Chemin(const QString& relatif) const
{
    return m_dossier.path() + QLatin1Char('/') + relatif;
}

void InstallationEssai::EcritReglage(const QString& baseFic)
{
    const QString dossier = DossierReglages() + QStringLiteral("/VB and VBA Program Settings");
    QDir().mkpath(dossier);
    QFile f(dossier + QStringLiteral("/VBtrevix.conf"));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!baseFic.isEmpty())
        f.write("[GENERAL]\nBaseFicDefaut=" + baseFic.toUtf8() + "\n");
    else
        f.write("[GENERAL]\nAutreCle=1\n");
}

QString InstallationEssai::CreeBase(const QString& nomFichier)
{
    m_base = Chemin(nomFichier);
    AvecBase(m_base, [](QSqlDatabase& base) {
        QSqlQuery q(base);
        return q.exec(QStringLiteral("CREATE TABLE paramINITtrevix (codevariable TEXT, valeur TEXT, Commentaire TEXT, "
                                     "Categorie TEXT, UtilModif TEXT, DateModif TEXT)"));
    });
    return m_base;
}

bool InstallationEssai::Execute(const QString& sql)
{
    return AvecBase(m_base, [&](QSqlDatabase& base) {
        QSqlQuery q(base);
        return q.exec(sql);
    });
}

QString InstallationEssai::Valeur(const QString& cle)
{
    return AvecBase(m_base, [&](QSqlDatabase& base) {
        QSqlQuery q(base);
        q.prepare(QStringLiteral("SELECT valeur FROM paramINITtrevix WHERE codevariable = ?"));
        q.addBindValue(cle);
        if (!q.exec() || !q.next())
            return QStringLiteral("<absente>");
        return q.value(0).isNull() ? QStringLiteral("<null>") : q.value(0).toString();
    });
}

int InstallationEssai::NombreLignes()
{
    return AvecBase(m_base, [](QSqlDatabase& base) {
        QSqlQuery q(base);
        return q.exec(QStringLiteral("SELECT COUNT(*) FROM paramINITtrevix")) && q.next() ? q.value(0).toInt() : -1;
    });
}
