#include "JournalFichier.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// Le fichier ouvert est-il toujours au bout du chemin ? Un tube, un terminal ou
// /dev/stderr ne se vérifient pas ; Windows refuse d'effacer un fichier ouvert.
bool ToujoursAuChemin(const QFile& fichier, const QString& chemin)
{
#ifdef Q_OS_UNIX
    struct stat ouvert {};
    if (::fstat(fichier.handle(), &ouvert) != 0 || !S_ISREG(ouvert.st_mode))
        return true;
    struct stat auChemin {};
    return ::stat(QFile::encodeName(chemin).constData(), &auChemin) == 0 && auChemin.st_dev == ouvert.st_dev
        && auChemin.st_ino == ouvert.st_ino;
#else
    Q_UNUSED(fichier);
    Q_UNUSED(chemin);
    return true;
#endif
}

} // namespace

QString JournalFichier::NomTourne(const QString& chemin, const QDate& jour)
{
    return chemin + QLatin1Char('.') + jour.toString(QStringLiteral("yyyy-MM-dd"));
}

bool JournalFichier::Ouvre(const QString& chemin, int joursConservation, const QDate& aujourdhui, QString* erreur)
{
    m_chemin.clear();
    m_fichier.close();
    m_fichier.setFileName(chemin);
    m_joursConservation = qMax(0, joursConservation);
    if (!m_fichier.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        if (erreur)
            *erreur = m_fichier.errorString();
        return false;
    }
    m_chemin = chemin;
    m_enEchec = false;
    // Un fichier laissé par une marche d'un autre jour sera tourné à la première
    // écriture, sous le jour de sa dernière modification.
    const QFileInfo info(chemin);
    m_jour = info.isFile() && info.size() > 0 ? info.lastModified().date() : aujourdhui;
    EffaceAnciens(aujourdhui);
    return true;
}

bool JournalFichier::OuvreFichier()
{
    m_fichier.close();
    m_fichier.setFileName(m_chemin);
    if (m_fichier.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return true;
    m_erreur = m_fichier.errorString();
    return false;
}

JournalFichier::Etat JournalFichier::Ecrit(const QByteArray& octets, const QDate& jour, bool debutDeLigne)
{
    if (m_chemin.isEmpty())
        return Etat::Ecrit;
    if (debutDeLigne && jour.isValid() && m_jour.isValid() && jour != m_jour)
        Tourne(jour);

    // Effacé ou déplacé (par une rotation extérieure, un opérateur) : les lignes
    // iraient dans un fichier que personne ne lira plus.
    const bool rouvert = m_fichier.isOpen() && !ToujoursAuChemin(m_fichier, m_chemin);
    bool reussi = (m_fichier.isOpen() && !rouvert) || OuvreFichier();
    if (reussi && !octets.isEmpty()) {
        const qint64 n = m_fichier.write(octets);
        const int raison = errno;
        reussi = n == octets.size() && m_fichier.flush();
        if (!reussi) {
            // Écriture courte (disque plein en cours de route) : Qt ne garde pas
            // l'erreur du système, qui est pourtant la raison.
            m_erreur = m_fichier.error() == QFileDevice::NoError ? qt_error_string(raison) : m_fichier.errorString();
            // Rouvert au prochain essai : le disque peut avoir été libéré ou remonté.
            m_fichier.close();
        }
    }
    if (!reussi) {
        if (m_enEchec)
            return Etat::EchecDejaSignale;
        m_enEchec = true;
        return Etat::EchecNouveau;
    }
    if (m_enEchec) {
        m_enEchec = false;
        return Etat::Retabli;
    }
    return rouvert ? Etat::Rouvert : Etat::Ecrit;
}

void JournalFichier::Tourne(const QDate& nouveauJour)
{
    const QDate ancienJour = m_jour;
    m_jour = nouveauJour;
    // Seul un fichier ordinaire change de nom (jamais /dev/stderr ni un tube).
    if (!QFileInfo(m_chemin).isFile())
        return;
    m_fichier.close();
    const QString cible = NomTourne(m_chemin, ancienJour);
    if (QFileInfo::exists(cible)) {
        // Déjà un fichier pour ce jour (horloge remise en arrière) : on y ajoute.
        QFile source(m_chemin);
        QFile destination(cible);
        if (source.open(QIODevice::ReadOnly) && destination.open(QIODevice::WriteOnly | QIODevice::Append)) {
            while (!source.atEnd())
                destination.write(source.read(1 << 20));
            source.close();
            QFile::remove(m_chemin);
        }
    } else {
        QFile::rename(m_chemin, cible);
    }
    OuvreFichier();
    EffaceAnciens(nouveauJour);
}

void JournalFichier::EffaceAnciens(const QDate& aujourdhui)
{
    const QFileInfo info(m_chemin);
    const QDir dossier = info.absoluteDir();
    const QRegularExpression motif(QStringLiteral("^") + QRegularExpression::escape(info.fileName())
                                   + QStringLiteral("\\.(\\d{4}-\\d{2}-\\d{2})$"));
    const QDate limite = aujourdhui.addDays(-m_joursConservation);
    const QStringList noms = dossier.entryList({ info.fileName() + QStringLiteral(".*") }, QDir::Files);
    for (const QString& nom : noms) {
        const auto m = motif.match(nom);
        if (!m.hasMatch())
            continue;
        const QDate jour = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (jour.isValid() && jour < limite)
            QFile::remove(dossier.filePath(nom));
    }
}
