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
// Avec la veille du dossier, les listes suivent ses notifications nom par nom
// (un nom ajouté ou retiré, sans relire le dossier) ; un relevé a tout de même
// lieu toutes les IntervalleFiletMs, pour ce que les notifications auraient
// manqué : les noms bruts y sont comparés à ceux connus avant toute
// reconstruction. Sans veille, ce relevé se fait à chaque passe.
class ListesEchange : public QObject
{
    Q_OBJECT
public:
    // Au-delà, une commande n'est pas lancée (elle reste dans le dossier).
    static constexpr qint64 TailleMaxCommande = 1024 * 1024;
    // Délai pendant lequel taille et date d'une commande sans signe sûr de la
    // veille doivent rester les mêmes.
    static constexpr qint64 DelaiStabiliteMs = CommandesPretes::DelaiStabiliteMs;
    // Relecture complète du dossier au moins à cet intervalle, veille ou non ;
    // une veille perdue est reposée à ce rythme.
    static constexpr qint64 IntervalleFiletMs = 5000;
    // Une commande dont le nom revient dans ce délai après sa remise, avec un
    // nouveau contenu, a été écrite en deux fois.
    static constexpr qint64 DelaiRetourMs = 10000;

    using Lecture = SystemeFichiers::Lecture;
    using EtatFichier = SystemeFichiers::EtatFichier;

    // aux : commande de la sortie auxiliaire des cartes (numéro, "ON"/"OFF") ;
    // le câblage y met LigneCartes::AuxGri2.
    ListesEchange(JournalStatut& journal, Horloge& horloge, const Configuration& configuration,
                  std::function<void(const QString&, const QString&)> aux,
                  QObject* parent = nullptr);

    // Met la liste à jour (mouvements de la veille, ou relevé du dossier) ; la
    // sortie 8 suit le nombre de commandes quand il change.
    void MAJlisteFichierCD();
    void MAJlisteFichierRT();

    // Chemin complet de la prochaine commande à lancer, "" s'il n'y en a pas :
    // la première de la liste qui est stable, ni écartée (voir EcarteFichierCde)
    // ni dans aEviter (chemins complets).
    QString RechFichierCdeEnAttente(const QSet<QString>& aEviter = {});

    // Lit une commande proposée, au plus TailleMaxCommande octets, et vérifie
    // qu'elle n'a pas changé depuis qu'elle a été dite prête.
    Lecture LitCommande(const QString& cheminComplet, QByteArray* contenu);

    // Vrai quand le dossier est veillé par le système (notifications sûres).
    bool Veille() const { return m_veille.Active(); }

    QStringList ListeCD() const { return m_cd.trie; }
    QStringList ListeRT() const { return m_rt.trie; }

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
    // La veille a vu bouger le dossier : une commande est peut-être prête.
    void dossierSigne();
    void listeRTChangee(const QStringList& liste);
    // État du dossier d'échange pour la fenêtre (émis à chaque constat, même inchangé) :
    // EtatDossierVeille, EtatDossierInaccessible (raison du système) ou EtatDossierSansVeille.
    void etatDossierChange(int etat, const QString& raison);

private:
    // Une liste montrée, triée, et si elle a changé depuis son dernier signal.
    struct Liste
    {
        QStringList trie;
        bool changee = false;
    };
    // Met les deux listes à jour : les mouvements notifiés un à un quand la
    // veille est sûre, sinon (ou au filet) le relevé du dossier.
    void Actualise();
    // Veille perdue (dossier effacé, déplacé, remplacé), reposée au rythme du
    // filet ; une ligne à la perte, une au retour.
    void SuitVeille(qint64 maintenant, bool filet);
    void PoseVeille();
    void AppliqueMouvement(const VeilleDossier::Mouvement& mouvement);
    // Relevé du dossier : noms bruts comparés à ceux connus ; la lecture
    // complète (décodage, nature des entrées, tri) seulement s'ils diffèrent.
    void Releve();
    void Reconstruit();
    Liste& ListeDe(const QByteArray& brut);
    static void Insere(Liste& liste, const QString& nom);
    static bool Retire(Liste& liste, const QString& nom);
    // Suites d'une commande qui entre dans la liste ou en sort.
    void CommandeEntree(const QString& nom);
    void CommandeSortie(const QString& nom);
    void OublieRemisesAnciennes(qint64 maintenant);
    void SignaleAccesDossier(bool accessible, const QString& raison);
    // Une ligne par entrée ignorée (clé : nom et raison), pas une à chaque passe.
    void SignaleIgnoree(QHash<QByteArray, QString>& vues, const QByteArray& brut, const QString& cle,
                        const QString& texte);

    JournalStatut& m_journal;
    Horloge& m_horloge;
    const Configuration& m_configuration;
    std::function<void(const QString&, const QString&)> m_aux;

    Liste m_cd;
    Liste m_rt;
    VeilleDossier m_veille;
    CommandesPretes m_pretes;
    QHash<QString, EtatFichier> m_ecartes;  // nom nu -> fichier remis
    QHash<QByteArray, QString> m_ignorees;  // nom brut -> clé déjà signalée
    // Noms gardés présents au dernier relevé, entrées ignorées comprises, tenus
    // à jour par les mouvements : le relevé du filet s'y compare.
    QSet<QByteArray> m_bruts;
    quint64 m_empreinte = 0;                // somme des empreintes de m_bruts
    int m_horsUtf8 = 0;                     // parmi eux, noms hors UTF-8
    bool m_retoursFrais = false; // actualisées par la relecture des commandes
    bool m_aRelire = true;
    qint64 m_derniereLecture = 0; // 0 : jamais lu
    qint64 m_dernierEssaiVeille = 0;
    bool m_essaiVeille = false;   // une pose a déjà été essayée
    bool m_veillePosee = false;   // posée et pas encore vue perdue
    bool m_veillePerdue = false;  // perte signalée, retour pas encore
    QString m_raisonSansVeille;   // dernière raison signalée de l'absence de veille
    bool m_dossierAccessible = true;
    int m_nombreCD = 0;           // nombre de commandes à la dernière relecture
    // Commandes lues pour être remises depuis moins de DelaiRetourMs : un
    // nom qui revient avec un nouveau contenu a été écrit en deux fois.
    struct Remise
    {
        qint64 heure = 0;
        bool partie = false; // sortie du dossier depuis
        bool revenue = false;
        qint64 retour = 0;
    };
    QHash<QString, Remise> m_remises;
};
