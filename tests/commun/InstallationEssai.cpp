#include "InstallationEssai.h"

#include <QDir>
#include <QFile>
#ifdef Q_OS_WIN
#include <QSettings>
#endif
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
#ifdef Q_OS_WIN
// Sous Windows, le programme hôte range son réglage dans la base de registre de l'utilisateur
// (HKCU\Software\VB and VBA Program Settings\VBtrevix), que le service lit au format natif de
// QSettings : une seule clé pour toute la session, que chaque installation d'essai vide en
// naissant et en mourant (les tests qui s'en servent ne tournent pas en même temps).
void VideReglageRegistre()
{
    QSettings reglages(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("VB and VBA Program Settings"),
                       QStringLiteral("VBtrevix"));
    reglages.clear();
    reglages.sync();
}
#endif
} // namespace

InstallationEssai::InstallationEssai()
{
    QDir(m_dossier.path()).mkpath(QStringLiteral("racine"));
    QDir(m_dossier.path()).mkpath(QStringLiteral("reglages"));
#ifdef Q_OS_WIN
    VideReglageRegistre();
#endif
}

InstallationEssai::~InstallationEssai()
{
#ifdef Q_OS_WIN
    VideReglageRegistre();
#endif
}

QString InstallationEssai::Chemin(const QString& relatif) const
{
    return m_dossier.path() + QLatin1Char('/') + relatif;
}

void InstallationEssai::EcritReglage(const QString& baseFic)
{
#ifdef Q_OS_WIN
    // Comme l'écrit le programme hôte : section GENERAL, chemin aux séparateurs de Windows.
    VideReglageRegistre();
    QSettings reglages(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("VB and VBA Program Settings"),
                       QStringLiteral("VBtrevix"));
    if (!baseFic.isEmpty())
        reglages.setValue(QStringLiteral("GENERAL/BaseFicDefaut"), QDir::toNativeSeparators(baseFic));
    else
        reglages.setValue(QStringLiteral("GENERAL/AutreCle"), QStringLiteral("1"));
    reglages.sync();
#else
    const QString dossier = DossierReglages() + QStringLiteral("/VB and VBA Program Settings");
    QDir().mkpath(dossier);
    QFile f(dossier + QStringLiteral("/VBtrevix.conf"));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!baseFic.isEmpty())
        f.write("[GENERAL]\nBaseFicDefaut=" + baseFic.toUtf8() + "\n");
    else
        f.write("[GENERAL]\nAutreCle=1\n");
#endif
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
