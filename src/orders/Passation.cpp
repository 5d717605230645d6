#include "Passation.h"
#include "app/CheminAffiche.h"

#include "FichierCommande.h"
#include "app/JournalStatut.h"
#include "config/Configuration.h"

#include <QFile>
#include <QFileInfo>

Passation::Passation(JournalStatut& journal, const Configuration& configuration)
    : m_journal(journal)
    , m_configuration(configuration)
{
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

bool Passation::LanceFichierCde(const QString& fichier, const QString& gare)
{
    const QString& cheminPassation = m_configuration.FichierPassation;
    m_dernierRefus = Refus::Aucun;

    // Fichier absent : libre, il naît de l'écriture.
    const QFileInfo infoPassation(cheminPassation);
    if (infoPassation.exists() && infoPassation.size() > 1) {
        m_dernierRefus = Refus::Occupe;
        m_journal.MessageStatus(QStringLiteral("Impossible d'envoyer le fichier ") + CheminAffiche(fichier)
                                + QStringLiteral(" car la commande précédente est encore en attente"));
        return false;
    }

    QFile commande(fichier);
    const bool ouverte = commande.open(QIODevice::ReadOnly);
    const QByteArray contenu = ouverte ? commande.readAll() : QByteArray();
    const bool lectureComplete = ouverte && commande.error() == QFileDevice::NoError;
    commande.close();
    if (!lectureComplete) {
        SignaleEchec(Refus::CommandeIllisible, fichier,
                     QStringLiteral("Impossible de lire le fichier ") + fichier + QStringLiteral(", il n'est pas envoye"));
        return false;
    }

    // Toute la copie est prête en mémoire avant d'ouvrir le fichier de passation :
    // le frontal ne doit jamais y trouver une commande à moitié écrite. Pas de
    // fichier temporaire renommé : le frontal peut tenir ce fichier ouvert ou le
    // surveiller, il doit garder son identité.
    const QByteArray copie = FichierCommande::CopiePassation(contenu, gare);

    QFile passation(cheminPassation);
    bool ecrit = passation.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (ecrit) {
        ecrit = passation.write(copie) == copie.size() && passation.flush();
        if (!ecrit)
            passation.resize(0); // jamais de demi-commande laissée au frontal
        passation.close();
        ecrit = ecrit && passation.error() == QFileDevice::NoError;
    }
    if (!ecrit) {
        // Une ouverture réussie a déjà tronqué le fichier ; un échec plus tard
        // doit aussi le laisser vide.
        if (QFileInfo::exists(cheminPassation) && QFileInfo(cheminPassation).size() > 0) {
            QFile vide(cheminPassation);
            if (vide.open(QIODevice::WriteOnly | QIODevice::Truncate))
                vide.close();
        }
        SignaleEchec(Refus::EcritureImpossible, fichier,
                     QStringLiteral("Erreur d'ecriture du fichier de passation ") + cheminPassation
                         + QStringLiteral(" : le fichier ") + fichier + QStringLiteral(" n'est pas envoye"));
        return false;
    }

    m_dernierEchecSignale.clear();
    m_journal.MessageStatus(QStringLiteral("envoi le fichier ") + CheminAffiche(fichier) + QStringLiteral(" vers ")
                            + gare);
    return true;
}
