#include "CycleTraitement.h"
#include "app/CheminAffiche.h"

#include "app/Horloge.h"
#include "app/JournalStatut.h"
#include "config/LectureNombre.h"
#include "drawers/TableauTiroirs.h"
#include "orders/FichierCommande.h"
#include "orders/ListesEchange.h"
#include "orders/Passation.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QScopedValueRollback>


CycleTraitement::CycleTraitement(JournalStatut& journal, Horloge& horloge, ListesEchange& listes,
                                 TableauTiroirs& tiroirs, Passation& passation, QObject* parent)
    : QObject(parent)
    , m_journal(journal)
    , m_horloge(horloge)
    , m_listes(listes)
    , m_tiroirs(tiroirs)
    , m_passation(passation)
    , m_supprime([](const QString& chemin) { return QFile::remove(chemin); })
    , m_lit([](const QString& chemin, QByteArray* contenu) {
        QFile fichier(chemin);
        if (!fichier.open(QIODevice::ReadOnly))
            return false;
        *contenu = fichier.readAll();
        return fichier.error() == QFileDevice::NoError;
    })
{
}

void CycleTraitement::MetLecture(std::function<bool(const QString&, QByteArray*)> lit)
{
    m_lit = std::move(lit);
}

void CycleTraitement::MetSuppression(std::function<bool(const QString&)> supprime)
{
    m_supprime = std::move(supprime);
}

void CycleTraitement::Efface()
{
    // Toujours publié : la fenêtre tient ses deux contrôles de ces signaux, y
    // compris au démarrage où les valeurs sont déjà celles-ci.
    m_texteDerniereCde.clear();
    emit texteDerniereCdeChange(m_texteDerniereCde);
    m_compteur = QStringLiteral("1");
    emit compteurChange(m_compteur);
}

void CycleTraitement::MetTexteDerniereCde(const QString& texte)
{
    if (texte == m_texteDerniereCde)
        return;
    m_texteDerniereCde = texte;
    emit texteDerniereCdeChange(m_texteDerniereCde);
}

bool CycleTraitement::TexteCommande(const QString& nomDuFichier, QString* texte)
{
    QByteArray contenu;
    if (!m_lit(nomDuFichier, &contenu)) {
        // Fichier retiré par son auteur entre la liste et l'affichage, ou tenu
        // par lui : une ligne (pas une à chaque passe tant que ça dure).
        if (!m_illisibles.contains(nomDuFichier)) {
            m_illisibles.insert(nomDuFichier);
            m_journal.MessageStatus(QStringLiteral("Impossible de lire le fichier ") + nomDuFichier
                                    + QStringLiteral(", il n'est pas lance"));
        }
        return false;
    }
    m_illisibles.remove(nomDuFichier);
    *texte = FichierCommande::TexteAffichageBrut(nomDuFichier, contenu);
    return true;
}

void CycleTraitement::afficheFichierCdeBrut(const QString& nomDuFichier)
{
    QString texte;
    if (TexteCommande(nomDuFichier, &texte))
        MetTexteDerniereCde(texte);
}

void CycleTraitement::Passe()
{
    // Seule la boucle appelle la passe ; la garde protège d'un appel venu d'un
    // événement traité pendant une cession de la passe elle-même.
    if (m_dansPasse)
        return;
    const QScopedValueRollback<bool> garde(m_dansPasse, true);

    m_listes.MAJlisteFichierCD();
    m_listes.MAJlisteFichierRT();
    m_tiroirs.LectureEtatTiroir(0);

    // Les commandes illisibles qui ont quitté le dossier sont oubliées.
    for (auto it = m_illisibles.begin(); it != m_illisibles.end();)
        it = QFile::exists(*it) ? std::next(it) : m_illisibles.erase(it);
    const QString fichier = m_listes.RechFichierCdeEnAttente(m_illisibles);
    if (fichier.isEmpty())
        return;
    const QString gare = m_tiroirs.RechGareLibre();
    if (gare.isEmpty())
        return;

    // La commande montrée est aussitôt remise ou remplacée par l'avis de refus,
    // sans cession entre les deux : le texte n'est publié qu'une fois.
    QString texteCommande;
    if (!TexteCommande(fichier, &texteCommande))
        return; // pas lancée à cette passe

    if (!m_passation.LanceFichierCde(fichier, gare)) {
        const QString suite = QStringLiteral("il est donc impossible de lancer le fichier: ") + fichier
            + QStringLiteral(" vers la gare: ") + gare + QStringLiteral("\r\n");
        switch (m_passation.DernierRefus()) {
        case Passation::Refus::CommandeIllisible:
            // Lue pour l'affichage mais plus à la remise : les suivantes passent devant.
            m_illisibles.insert(fichier);
            MetTexteDerniereCde(QStringLiteral("Commande illisible ...\r\n\r\n") + suite);
            break;
        case Passation::Refus::EcritureImpossible:
            MetTexteDerniereCde(QStringLiteral("Fichier de passation impossible a ecrire ...\r\n\r\n") + suite);
            break;
        default:
            MetTexteDerniereCde(QStringLiteral("Commande précedente non prise en compte ...\r\n")
                                + QStringLiteral("\r\n") + suite);
            break;
        }
        return;
    }
    MetTexteDerniereCde(texteCommande);

    const int n = LitNombre(gare);
    m_tiroirs.MetCouleur(n, TableauTiroirs::CdeEnCours);
    m_tiroirs.MetHeureTiroirLibre(n, m_horloge.get_exact_milli_second());
    m_journal.MessageStatus(QStringLiteral("supp fich: ") + CheminAffiche(fichier));
    if (!m_supprime(fichier) && QFile::exists(fichier)) {
        // La commande est déjà chez le frontal : la relancer la livrerait deux fois.
        m_journal.MessageStatus(QStringLiteral("Impossible d'effacer le fichier ") + fichier
                                + QStringLiteral(" : deja envoye, il ne sera plus lance"));
        m_listes.EcarteFichierCde(fichier);
    }
}

void CycleTraitement::AvanceCompteur()
{
    int valeur = LitNombre(m_compteur) + 1;
    if (valeur > 999)
        valeur = 0;
    m_compteur = QString::number(valeur);
    emit compteurChange(m_compteur);
}

void CycleTraitement::BoucleTraitement()
{
    if (m_dansBoucle)
        return; // une seule boucle : un second appel reviendrait sans fin
    const QScopedValueRollback<bool> garde(m_dansBoucle, true);
    m_arret = false;
    while (!m_arret) {
        Passe();
        if (m_arret)
            break;
        // Attente de 300 ms qui laisse vivre la fenêtre.
        m_horloge.AttendEnCedant(300);
        if (m_arret)
            break;
        AvanceCompteur();
        m_horloge.Cede();
        // La boucle ne revient jamais à la boucle d'événements de Qt : les
        // objets détruits par deleteLater (fenêtres fermées) le sont ici.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void CycleTraitement::Arrete()
{
    m_arret = true;
}

void CycleTraitement::ControleTempsTiroirs(qint64 TempsMaxAttenteMs)
{
    for (int i = 1; i <= m_tiroirs.NbTiroirs(); ++i) {
        // Couleur et heure relues à chaque tiroir : OuvreTiroir laisse passer
        // les événements, qui ont pu changer les suivants.
        const qint64 heure = m_tiroirs.HeureTiroirLibre(i);
        if (m_tiroirs.Couleur(i) == TableauTiroirs::PasEnAttente || heure <= 0)
            continue;
        const qint64 ecoule = m_horloge.get_exact_milli_second() - heure;
        if (ecoule > TempsMaxAttenteMs) {
            m_tiroirs.MetHeureTiroirLibre(i, 0);
            m_journal.MessageStatus(QStringLiteral("\r\nlibere le tiroir ") + QString::number(i)
                                    + QStringLiteral(" car le temps est depasse"));
            m_tiroirs.OuvreTiroir(i);
        }
    }
}
