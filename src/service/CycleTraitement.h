#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "orders/ListesEchange.h"

class Horloge;
class JournalStatut;
class Passation;
class PolitiqueReprise;
class RegistreRemises;
class TableauTiroirs;

// Cycle de traitement : passe après passe, relit les listes, lit les tiroirs
// et lance au plus une commande vers un tiroir libre. Une passe est une suite
// d'états menée par les signaux : la lecture des cartes se fait par la file de
// la ligne, sans que rien n'attende dans le fil des fenêtres ; les événements
// (clics, minuterie, question d'arrêt) passent entre deux étapes.
//
// Allure : une passe commence au plus tôt PeriodeMs après le début de la
// précédente. Jusque-là, une passe finie sans lancement reste ouverte : une
// commande qui devient prête (signe de la veille du dossier) part aussitôt,
// vers un tiroir vu libre par la lecture de cette passe. Au plus un lancement
// par passe.
class CycleTraitement : public QObject
{
    Q_OBJECT
public:
    CycleTraitement(JournalStatut& journal, Horloge& horloge, ListesEchange& listes,
                    TableauTiroirs& tiroirs, Passation& passation, QObject* parent = nullptr);
    ~CycleTraitement() override;

    // Durée minimale du début d'une passe au début de la suivante.
    static constexpr int PeriodeMs = 300;
    // Après un signe de la veille du dossier, l'essai entre deux passes attend ce temps :
    // un comptoir qui dépose plusieurs fichiers ne fait relire le dossier qu'une fois.
    static constexpr int DelaiSigneMs = 20;

    // Commence une passe. Sans effet si une passe est déjà en cours. Elle finit
    // (passeTerminee) quand la lecture des tiroirs a répondu : tout de suite si
    // elle ne demande rien aux cartes.
    void Passe();
    bool PasseEnCours() const { return m_dansPasse; }
    // Montre la commande brute dans Txt_DerniereCde.
    void afficheFichierCdeBrut(const QString& nomDuFichier);

    // Passes l'une après l'autre, jusqu'à Arrete(). Rend la main tout de suite.
    void Demarre();
    // Période des passes (PeriodeMs par défaut ; les essais la raccourcissent).
    void MetPeriode(int millisecondes) { m_periodeMs = qMax(0, millisecondes); }
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
    // Lecture bornée d'une commande, une fois par essai : ces octets sont
    // montrés et remis. Par défaut ListesEchange::LitCommande ; remplaçable pour
    // les tests (un fichier illisible même pour root).
    using FonctionLecture = std::function<ListesEchange::Lecture(const QString&, QByteArray*)>;
    void MetLecture(FonctionLecture lit);

    // Délai avant de réessayer une commande qui n'a pas pu être lue.
    static constexpr qint64 DelaiNouvelEssaiMs = 2000;

    // Registre durable des remises (peut rester absent : les commandes passent
    // alors sans mémoire d'un arrêt à l'autre).
    void MetRegistre(RegistreRemises* registre);
    // Ce que le démarrage fait des remises inachevées (nul sans registre).
    PolitiqueReprise* Reprise() const { return m_reprise.get(); }
    // Démarrage, avant la première relecture des listes : règle les remises qu'un
    // arrêt a laissées inachevées (rien n'est remis deux fois).
    void RegleRemisesInachevees(const QString& dossierEchange, const QString& fichierPassation);
    // Démarrage, après la libération de tous les tiroirs : les tiroirs dont la
    // commande attend peut-être encore ses boîtes redeviennent jaunes, pour tout
    // TempsMaxAttenteProduit compté depuis maintenant.
    void ReprendTiroirsEnVol();

signals:
    void passeTerminee();
    void texteDerniereCdeChange(const QString& texte);
    void compteurChange(const QString& compteur);

private:
    // Lit la commande (une fois, bornée) et fait son texte pour Txt_DerniereCde ;
    // faux quand elle n'est pas à lancer à cette passe (illisible, trop grosse,
    // encore en écriture), avec une ligne de journal quand il y a lieu.
    bool LitCommande(const QString& nomDuFichier, QByteArray* contenu, QString* texte);
    bool TraiteLecture(const QString& nomDuFichier, ListesEchange::Lecture lecture, const QByteArray& contenu,
                       QString* texte);
    // Commandes illisibles depuis moins de DelaiNouvelEssaiMs.
    QSet<QString> CommandesAEviter();
    void MetTexteDerniereCde(const QString& texte);
    // Efface la commande remise ; l'effacement est sur le disque avant d'être noté.
    void EffaceRemise(const QString& fichier, qint64 remise);
    void AvanceCompteur();
    // Suite de la passe quand la lecture des tiroirs est finie.
    void SurLectureTerminee();
    // Étapes 3 à 8 : une commande prête vers un tiroir libre ; vrai quand un
    // lancement a été tenté.
    bool TenteRemise();
    // Entre deux passes : une commande devenue prête part si la passe n'a encore
    // rien lancé.
    void SurDossierSigne();
    void TenteEntrePasses();

    JournalStatut& m_journal;
    Horloge& m_horloge;
    ListesEchange& m_listes;
    TableauTiroirs& m_tiroirs;
    Passation& m_passation;
    RegistreRemises* m_registre = nullptr;
    std::unique_ptr<PolitiqueReprise> m_reprise;
    std::function<bool(const QString&)> m_supprime;
    FonctionLecture m_lit;

    QString m_texteDerniereCde;
    QString m_compteur = QStringLiteral("1");
    // Commandes qui n'ont pas pu être lues, avec l'heure du dernier essai : les
    // suivantes passent devant elles (sinon une seule commande illisible en tête
    // de liste bloquerait toutes les autres) ; chacune est réessayée à sa place
    // dans la liste 2 s après son dernier essai. Une ligne de journal par
    // commande tant qu'elle reste illisible.
    QHash<QString, qint64> m_illisibles;
    bool m_dansPasse = false;
    bool m_actif = false;
    // Arrêt du programme : la passe en cours ne lance plus rien.
    bool m_arrete = false;
    // La dernière passe a tenté un lancement : rien d'autre jusqu'à la suivante.
    bool m_lancementTente = false;
    QElapsedTimer m_debutPasse;
    int m_periodeMs = PeriodeMs;
    QTimer m_minuteriePasse;
    // Essais entre deux passes : peu après un signe de la veille (une rafale de signes
    // n'en donne qu'un), puis quand une commande fermée devient prête.
    QTimer m_minuterieSigne;
    QTimer m_minuterieRelecture;
};
