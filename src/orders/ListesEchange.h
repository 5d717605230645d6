#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

#include "base/SystemeFichiers.h"
#include "orders/CommandesPretes.h"
#include "orders/VeilleDossier.h"

class Horloge;
class JournalStatut;
struct Configuration;

// Listes des fichiers en attente dans le dossier d'échange : commandes
// "CD*.txt" et retours "RT*.txt", fichiers ordinaires seulement, triés par nom
// sans égard à la casse. La fenêtre montre une liste et son compteur seulement
// quand elle n'est pas vide, le compteur affichant le nombre d'entrées.
//
// Le dossier est rempli par d'autres programmes : on n'y lit jamais que des
// fichiers ordinaires (après avoir suivi les liens), jamais sans borne, et une
// commande n'est proposée qu'une fois son écrivain fini (voir CommandesPretes).
// Avec la veille du dossier, une passe sur un dossier inchangé ne le relit pas ;
// une relecture complète a tout de même lieu toutes les IntervalleFiletMs, pour
// ce que les notifications auraient manqué.
class ListesEchange : public QObject
{
    Q_OBJECT
public:
    // Au-delà, une commande n'est pas lancée (elle reste dans le dossier).
    static constexpr qint64 TailleMaxCommande = 1024 * 1024;
    // Délai pendant lequel taille et date d'une commande sans signe sûr de la
    // veille doivent rester les mêmes.
    static constexpr qint64 DelaiStabiliteMs = CommandesPretes::DelaiStabiliteMs;
    // Relecture complète du dossier au moins à cet intervalle, veille ou non.
    static constexpr qint64 IntervalleFiletMs = 5000;

    using Lecture = SystemeFichiers::Lecture;
    using EtatFichier = SystemeFichiers::EtatFichier;

    // aux : commande de la sortie auxiliaire des cartes (numéro, "ON"/"OFF") ;
    // le câblage y met LigneCartes::AuxGri2.
    ListesEchange(JournalStatut& journal, Horloge& horloge, const Configuration& configuration,
                  std::function<QByteArray(const QString&, const QString&)> aux,
                  QObject* parent = nullptr);

    // Relit le dossier ; la sortie 8 suit le nombre de commandes quand il
    // change ; laisse passer les événements avant de rendre la main.
    void MAJlisteFichierCD();
    void MAJlisteFichierRT();

    // Chemin complet de la prochaine commande à lancer, "" s'il n'y en a pas :
    // la première de la liste qui est stable, ni écartée (voir EcarteFichierCde)
    // ni dans aEviter (chemins complets).
    QString RechFichierCdeEnAttente(const QSet<QString>& aEviter = {});

    // Lit une commande proposée, au plus TailleMaxCommande octets, et vérifie
    // qu'elle n'a pas changé depuis qu'elle a été dite prête.
    Lecture LitCommande(const QString& cheminComplet, QByteArray* contenu);

    QStringList ListeCD() const { return m_releveCD.trie; }
    QStringList ListeRT() const { return m_releveRT.trie; }

    // Écarte une commande (déjà remise mais impossible à effacer, ou trop
    // grosse) : elle n'est plus jamais proposée tant que ce fichier reste dans
    // le dossier. Un fichier du même nom réécrit (autre taille ou autre date)
    // est une nouvelle commande.
    void EcarteFichierCde(const QString& cheminComplet);

    // Octets d'un nom rendus lisibles : ASCII imprimable tel quel, le reste <E9>.
    static QString OctetsLisibles(const QByteArray& octets);

    static constexpr int EtatDossierVeille = 0;
    static constexpr int EtatDossierInaccessible = 1;
    static constexpr int EtatDossierSansVeille = 2;

signals:
    void listeCDChangee(const QStringList& liste);
    void listeRTChangee(const QStringList& liste);
    // État du dossier d'échange pour la fenêtre (émis à chaque constat, même inchangé) :
    // EtatDossierVeille, EtatDossierInaccessible (raison du système) ou EtatDossierSansVeille.
    void etatDossierChange(int etat, const QString& raison);

private:
    struct Releve
    {
        QStringList ordreDossier; // noms dans l'ordre où le dossier les donne
        QStringList trie;         // la liste montrée
    };
    // Une lecture du dossier donne les deux sortes de fichiers.
    void LitDossier(QStringList* commandes, QStringList* retours);
    // Vrai quand le dossier est à relire à cette passe (veille absente ou pas
    // sûre, changement notifié, filet de sécurité).
    bool DossierARelire();
    void PoseVeille();
    // Lit le dossier et garde les deux listes pour les relectures qui suivent.
    void Relit();
    // Vrai quand la liste triée a changé.
    static bool MetAJour(Releve& releve, QStringList ordreDossier);
    void SignaleAccesDossier(bool accessible, const QString& raison);
    // Une ligne par entrée ignorée (clé : nom et raison), pas une à chaque passe.
    void SignaleIgnoree(QSet<QString>& vues, const QString& cle, const QString& texte);

    JournalStatut& m_journal;
    Horloge& m_horloge;
    const Configuration& m_configuration;
    std::function<QByteArray(const QString&, const QString&)> m_aux;

    Releve m_releveCD;
    Releve m_releveRT;
    VeilleDossier m_veille;
    CommandesPretes m_pretes;
    QHash<QString, EtatFichier> m_ecartes; // nom nu -> fichier remis
    QSet<QString> m_ignorees;              // entrées déjà signalées
    // Listes lues par la dernière relecture du dossier, en attente de la
    // relecture des commandes ou des retours qui les prend (une seule lecture
    // du dossier par passe sert les deux).
    QStringList m_commandesLues;
    QStringList m_retoursLus;
    bool m_commandesEnAttente = false;
    bool m_retoursEnAttente = false;
    qint64 m_derniereLecture = 0; // 0 : jamais lu
    QString m_raisonSansVeille;   // dernière raison signalée de l'absence de veille
    bool m_dossierAccessible = true;
};
