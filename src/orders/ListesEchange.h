#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

class Horloge;
class JournalStatut;
struct Configuration;

// Listes des fichiers en attente dans le dossier d'échange : commandes
// "CD*.txt" et retours "RT*.txt", fichiers ordinaires seulement, triés par nom
// sans égard à la casse. La fenêtre montre une liste et son compteur seulement
// quand elle n'est pas vide, le compteur affichant le nombre d'entrées.
class ListesEchange : public QObject
{
    Q_OBJECT
public:
    // aux : commande de la sortie auxiliaire des cartes (numéro, "ON"/"OFF") ;
    // le câblage y met LigneCartes::AuxGri2.
    ListesEchange(JournalStatut& journal, Horloge& horloge, const Configuration& configuration,
                  std::function<QByteArray(const QString&, const QString&)> aux,
                  QObject* parent = nullptr);

    // Relit le dossier ; la sortie 8 suit le nombre de commandes quand il
    // change ; laisse passer les événements avant de rendre la main.
    void MAJlisteFichierCD();
    void MAJlisteFichierRT();

    // Chemin complet de la prochaine commande à lancer, "" s'il n'y en a pas.
    // Les commandes écartées (voir EcarteFichierCde) sont sautées ; celles de
    // aEviter (chemins complets) aussi, sauf s'il ne reste qu'elles.
    QString RechFichierCdeEnAttente(const QSet<QString>& aEviter = {});

    QStringList ListeCD() const { return m_releveCD.trie; }
    QStringList ListeRT() const { return m_releveRT.trie; }

    // Écarte une commande déjà remise dont le fichier n'a pas pu être effacé :
    // elle n'est plus jamais proposée tant que ce fichier reste dans le dossier.
    // Un fichier du même nom réécrit (autre taille ou autre date) est une
    // nouvelle commande.
    void EcarteFichierCde(const QString& cheminComplet);

signals:
    void listeCDChangee(const QStringList& liste);
    void listeRTChangee(const QStringList& liste);

private:
    struct Releve
    {
        QStringList ordreDossier; // noms dans l'ordre où le dossier les donne
        QStringList trie;         // la liste montrée
    };
    // Une lecture du dossier donne les deux sortes de fichiers.
    void LitDossier(QStringList* commandes, QStringList* retours);
    // Vrai quand la liste triée a changé.
    static bool MetAJour(Releve& releve, QStringList ordreDossier);
    void SignaleAccesDossier(bool accessible);

    JournalStatut& m_journal;
    Horloge& m_horloge;
    const Configuration& m_configuration;
    std::function<QByteArray(const QString&, const QString&)> m_aux;

    Releve m_releveCD;
    Releve m_releveRT;
    struct Empreinte
    {
        qint64 taille = -1;
        QDateTime modification;
        bool operator==(const Empreinte& autre) const
        {
            return taille == autre.taille && modification == autre.modification;
        }
    };
    static Empreinte EmpreinteDe(const QString& chemin);
    QHash<QString, Empreinte> m_ecartes; // nom nu -> fichier remis
    // Retours lus par la dernière relecture des commandes, pour la relecture
    // des retours qui la suit dans la même passe (une seule lecture du dossier).
    QStringList m_retoursLus;
    bool m_retoursEnAttente = false;
    bool m_dossierAccessible = true;
};
