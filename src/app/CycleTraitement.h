#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class Horloge;
class JournalStatut;
class ListesEchange;
class Passation;
class RegistreRemises;
class TableauTiroirs;

// Boucle de traitement : passe après passe, relit les listes, lit les tiroirs
// et lance au plus une commande vers un tiroir libre. Elle n'est pas menée par
// une minuterie : elle appelle elle-même chaque passe, et les événements de la
// fenêtre ne passent que pendant son attente et ses cessions.
class CycleTraitement : public QObject
{
    Q_OBJECT
public:
    CycleTraitement(JournalStatut& journal, Horloge& horloge, ListesEchange& listes,
                    TableauTiroirs& tiroirs, Passation& passation, QObject* parent = nullptr);

    // Une passe. Sans effet si une passe est déjà en cours.
    void Passe();
    // Montre la commande brute dans Txt_DerniereCde.
    void afficheFichierCdeBrut(const QString& nomDuFichier);

    // Ne rend la main qu'après Arrete().
    void BoucleTraitement();
    void Arrete();

    QString TexteDerniereCde() const { return m_texteDerniereCde; }
    QString Compteur() const { return m_compteur; } // légende de Lbl_compteur
    // Démarrage : texte effacé, compteur à "1" ; les deux signaux partent toujours.
    void Efface();

    // Libère chaque tiroir non rouge horodaté qui attend depuis plus de
    // TempsMaxAttenteMs (appelé à chaque tic de supervision).
    void ControleTempsTiroirs(qint64 TempsMaxAttenteMs);

    // Effacement d'un fichier de commande remis ; vrai s'il a disparu.
    // Remplaçable pour les tests (un fichier qu'on ne peut effacer).
    void MetSuppression(std::function<bool(const QString&)> supprime);
    // Lecture d'un fichier de commande pour l'affichage ; faux s'il ne se lit pas.
    // Remplaçable pour les tests (un fichier illisible même pour root).
    void MetLecture(std::function<bool(const QString&, QByteArray*)> lit);

    // Registre durable des remises (peut rester absent : les commandes passent
    // alors sans mémoire d'un arrêt à l'autre).
    void MetRegistre(RegistreRemises* registre);
    // Démarrage, avant la première relecture des listes : règle les remises qu'un
    // arrêt a laissées inachevées (rien n'est remis deux fois).
    void RegleRemisesInachevees(const QString& dossierEchange, const QString& fichierPassation);
    // Démarrage, après la libération de tous les tiroirs : les tiroirs dont la
    // commande attend encore ses boîtes redeviennent jaunes, avec leur échéance.
    void ReprendTiroirsEnVol(qint64 TempsMaxAttenteMs);

signals:
    void texteDerniereCdeChange(const QString& texte);
    void compteurChange(const QString& compteur);

private:
    // Texte de la commande pour Txt_DerniereCde ; faux si le fichier ne se lit pas.
    bool TexteCommande(const QString& nomDuFichier, QString* texte);
    void MetTexteDerniereCde(const QString& texte);
    void AvanceCompteur();

    JournalStatut& m_journal;
    Horloge& m_horloge;
    ListesEchange& m_listes;
    TableauTiroirs& m_tiroirs;
    Passation& m_passation;
    RegistreRemises* m_registre = nullptr;
    std::function<bool(const QString&)> m_supprime;
    std::function<bool(const QString&, QByteArray*)> m_lit;

    QString m_texteDerniereCde;
    QString m_compteur = QStringLiteral("1");
    // Commandes qui n'ont pas pu être lues : les suivantes passent devant elles
    // (sinon une seule commande illisible en tête de liste bloquerait toutes les
    // autres) ; elles sont réessayées quand il ne reste qu'elles.
    QSet<QString> m_illisibles;
    bool m_dansPasse = false;
    bool m_dansBoucle = false;
    bool m_arret = false;
};
