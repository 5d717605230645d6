#include "Passation.h"
#include "base/CheminAffiche.h"

#include "orders/FichierCommande.h"
#include "base/SystemeFichiers.h"
#include "orders/ListesEchange.h"
#include "base/Durabilite.h"
#include "base/JournalStatut.h"
#include "config/Configuration.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

Passation::Passation(JournalStatut& journal, const Configuration& configuration)
    : m_journal(journal)
    , m_configuration(configuration)
{
}

QString Passation::CheminPassation() const
{
    return m_configuration.FichierPassation;
}

void Passation::SignaleEchec(Refus refus, const QString& fichier, const QString& texte)
{
    m_dernierRefus = refus;
    const QString cle = QString::number(int(refus)) + QLatin1Char('|') + fichier;
    if (cle == m_dernierEchecSignale)
        return;
    m_dernierEchecSignale = cle;
    m_journal.MessageStatus(texte);
}

void Passation::SignaleDefautPassation(const QString& genre)
{
    if (genre == m_defautSignale)
        return;
    m_defautSignale = genre;
    const QString& chemin = m_configuration.FichierPassation;
    m_journal.MessageStatus(genre.isEmpty()
                                ? QStringLiteral("fichier de passation de nouveau utilisable : ") + CheminAffiche(chemin)
                                : QStringLiteral("fichier de passation inutilisable (") + genre
                                      + QStringLiteral(", pas un fichier ordinaire) : ") + CheminAffiche(chemin)
                                      + QStringLiteral(" ; aucune commande n'est envoyee"));
}

void Passation::NoteRaisonDisque()
{
#ifdef Q_OS_UNIX
    const int code = errno;
    m_raisonDisque = code == EIO ? QStringLiteral("erreur d'entrée-sortie")
        : code == ENOSPC         ? QStringLiteral("disque plein")
                                 : QString::fromLocal8Bit(::strerror(code));
#else
    m_raisonDisque = QStringLiteral("FlushFileBuffers en échec");
#endif
}

void Passation::Revide(QFile& passation)
{
    // Vide sur le disque avant que le registre n'oublie la remise : après une
    // coupure, une copie revenue dans le fichier serait prise par l'hôte alors
    // que la commande, restée dans le dossier, repartirait.
    m_videSurDisque = passation.resize(0) && Durabilite::SynchroniseFichier(passation);
    if (!m_videSurDisque)
        NoteRaisonDisque();
}

Passation::Ecriture Passation::Ecrit(const QByteArray& copie)
{
    QFile passation;
#ifdef Q_OS_UNIX
    // Ouverture sans troncature ni blocage (un tube sans lecteur échoue au lieu
    // d'attendre), puis vérification sur le descripteur même : ce qui est écrit
    // est bien un fichier ordinaire, même si le chemin a changé depuis le test.
    const QByteArray chemin = QFile::encodeName(m_configuration.FichierPassation);
    int fd = ::open(chemin.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    const bool cree = fd < 0 && errno == ENOENT;
    if (cree)
        fd = ::open(chemin.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return Ecriture::Impossible;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Ecriture::Invalide;
    }
    if (!passation.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return Ecriture::Impossible;
    }
    const bool ouvert = passation.resize(0);
#else
    passation.setFileName(m_configuration.FichierPassation);
    const bool cree = !QFileInfo::exists(m_configuration.FichierPassation);
    const bool ouvert = passation.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (!ouvert)
        return Ecriture::Impossible;
#endif
    const bool entiere = ouvert && passation.write(copie) == copie.size();
    // Sur le disque avant de rendre vrai : le registre notera ensuite « remise »,
    // et après une coupure de courant il ne doit pas le dire d'une copie perdue.
    if (entiere && Durabilite::SynchroniseFichier(passation) && passation.error() == QFileDevice::NoError) {
        passation.close();
        // Un fichier né de cette écriture : son nom aussi doit survivre.
        if (cree)
            Durabilite::SynchroniseDossier(QFileInfo(m_configuration.FichierPassation).absolutePath());
        return Ecriture::Faite;
    }
    if (entiere) {
        // La copie entière est dans le cache du système : l'hôte a pu la lire
        // pendant la poussée sur le disque (qui peut durer). La retirer ne ferait
        // que risquer de lui couper une lecture ; la relancer la livrerait deux fois.
        NoteRaisonDisque();
        passation.close();
        return Ecriture::NonConfirmee;
    }
    Revide(passation); // jamais de demi-commande laissée au frontal
    passation.close();
    return Ecriture::Impossible;
}

bool Passation::LanceFichierCde(const QString& fichier, const QString& gare, const QByteArray& contenu,
                                const std::function<void()>& avantEcriture)
{
    const QString& cheminPassation = m_configuration.FichierPassation;
    m_dernierRefus = Refus::Aucun;

    // Un dossier ou un tube n'est pas « occupé », /dev/null n'est pas « libre » :
    // la commande reste dans le dossier et la ligne dit ce qui ne va pas.
    const QString genre = SystemeFichiers::GenreEntree(cheminPassation);
    SignaleDefautPassation(genre);
    if (!genre.isEmpty()) {
        m_dernierRefus = Refus::PassationInvalide;
        return false;
    }

    // Fichier absent : libre, il naît de l'écriture.
    const QFileInfo infoPassation(cheminPassation);
    if (infoPassation.exists() && infoPassation.size() > 1) {
        m_dernierRefus = Refus::Occupe;
        m_journal.MessageStatus(QStringLiteral("Impossible d'envoyer le fichier ") + CheminAffiche(fichier)
                                + QStringLiteral(" car la commande précédente est encore en attente"));
        return false;
    }

    // Toute la copie est prête en mémoire avant d'ouvrir le fichier de passation :
    // le frontal ne doit jamais y trouver une commande à moitié écrite. Pas de
    // fichier temporaire renommé : le frontal peut tenir ce fichier ouvert ou le
    // surveiller, il doit garder son identité.
    const QByteArray copie = FichierCommande::CopiePassation(contenu, gare);
    if (avantEcriture)
        avantEcriture();

    m_videSurDisque = true;
    m_raisonDisque.clear();
    switch (Ecrit(copie)) {
    case Ecriture::Faite:
        break;
    case Ecriture::Invalide:
        SignaleDefautPassation(SystemeFichiers::GenreEntree(cheminPassation));
        m_dernierRefus = Refus::PassationInvalide;
        return false;
    case Ecriture::NonConfirmee:
        // La ligne pour l'opérateur est celle de la mise de côté (le cycle).
        m_dernierRefus = Refus::CopieNonConfirmee;
        m_dernierEchecSignale.clear();
        return false;
    case Ecriture::Impossible:
        // Une ouverture réussie a déjà tronqué le fichier ; un échec plus tard
        // doit aussi le laisser vide, et vide sur le disque.
        if (QFileInfo::exists(cheminPassation) && QFileInfo(cheminPassation).size() > 0) {
            QFile vide(cheminPassation);
            if (vide.open(QIODevice::WriteOnly)) {
                Revide(vide);
                vide.close();
            } else {
                m_videSurDisque = false;
            }
        }
        SignaleEchec(Refus::EcritureImpossible, fichier,
                     QStringLiteral("Erreur d'ecriture du fichier de passation ") + CheminAffiche(cheminPassation)
                         + QStringLiteral(" : le fichier ") + CheminAffiche(fichier) + QStringLiteral(" n'est pas envoye"));
        return false;
    }

    m_dernierEchecSignale.clear();
    m_journal.MessageStatus(QStringLiteral("envoi le fichier ") + CheminAffiche(fichier) + QStringLiteral(" vers ")
                            + gare);
    return true;
}
