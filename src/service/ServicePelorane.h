#pragma once

#include "config/Configuration.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class Dialogues;
class Horloge;
class InstanceUnique;
class JournalStatut;
class LigneCartes;
class TableauTiroirs;
class EcouteDatagrammes;
class ListesEchange;
class Passation;
class RegistreRemises;
class CycleTraitement;
class LiaisonCdapi;

// Le service sans sa fenêtre : la configuration, les appareils et l'état, et la
// séquence de démarrage dans son ordre fixe. Ce qui se voit (carrés, listes, titre)
// est demandé à la fenêtre par des signaux ; sans fenêtre, le démarrage tourne de
// même, ce qui permet de l'essayer sans Qt Widgets.
class ServicePelorane : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        QString racine;     // tient lieu de "c:\grindel\"
        QString portSerie;  // --port-serie
        QString registre;   // --registre ; vide : RACINE/pelorane-registre.db
        QStringList sourcesUdp; // --source-udp ; vide : datagrammes de toute adresse
    };
    ServicePelorane(Horloge& horloge, Dialogues& dialogues, JournalStatut& journal, InstanceUnique* instance,
                    Options options, QObject* parent = nullptr);
    ~ServicePelorane() override;

    // Étapes du démarrage jusqu'au test de liaison des cartes ; faux si le programme
    // s'arrête. Les étapes suivantes viennent quand les cartes ont répondu, puis les
    // passes commencent (demarrageTermine).
    bool Demarre();
    // Le programme s'arrête : plus aucune étape ni passe ne commence.
    void Arrete();
    bool EstArrete() const { return m_arrete; }
    // Registre fermé (sans -wal laissé), puis dans un ordre fixe : port des cartes,
    // liaison TCP (avec sa ligne), socket des datagrammes.
    void FermeLiens();

    const Configuration& Parametres() const { return m_config; }
    const Options& Options_() const { return m_options; }
    // Chemin de la base des paramètres lu au démarrage (vide avant).
    const QString& BaseParametres() const { return m_baseFic; }
    LigneCartes* Ligne() const { return m_ligne.get(); }
    TableauTiroirs* Tiroirs() const { return m_tiroirs.get(); }
    EcouteDatagrammes* Datagrammes() const { return m_datagrammes.get(); }
    ListesEchange* Listes() const { return m_listes.get(); }
    CycleTraitement* Cycle() const { return m_cycle.get(); }
    LiaisonCdapi* Liaison() const { return m_liaison.get(); }
    RegistreRemises* Registre() const { return m_registre.get(); }

signals:
    // Étape 3 : dernière commande vidée, compteur à "1".
    void affichagePrepare();
    // Étape 4 : la fenêtre se montre.
    void fenetreAMontrer();
    // Les appareils existent : la fenêtre peut suivre leurs signaux.
    void appareilsCrees();
    // Étape 14.
    void titreConnu(const QString& titre);
    // Étape 18 : les carrés des tiroirs en service, peints d'après le tableau.
    void tiroirsPrepares(int nombre);
    // Étape 25 passée : les passes ont commencé.
    void demarrageTermine();
    // Étape 23 : les deux listes relues, à montrer même vides.
    void listesRelues();
    // Arrêt sans question décidé par le démarrage (seconde copie : 0, port des cartes : 6).
    void arretSansQuestionDemande(int code);
    // Fin immédiate après une boîte fatale (réglage, base, registre d'une autre
    // racine, dossier d'échange).
    void finDemandee(int code);
    // Une carte d'extension change d'état : 0 répond, 1 en retard, 2 port perdu.
    void etatCarteChange(const QString& nom, int etat);

private:
    bool VerifieInstance();
    void FixeChemins();
    bool LitConfiguration();
    void CreeAppareils();
    bool OuvreRegistre();
    bool PrepareDossierEchange();
    bool OuvreLesLiens();
    // Étapes 21 à 25, après le test de liaison des cartes.
    void SuiteDemarrage();
    void RelitEtLibere();
    void Termine(int code);
    QString Racine() const;

    Horloge& m_horloge;
    Dialogues& m_dialogues;
    JournalStatut& m_journal;
    InstanceUnique* m_instance;
    Options m_options;
    bool m_arrete = false;

    Configuration m_config;
    QString m_baseFic;

    // Appareils et état du service, créés une fois la configuration lue.
    std::unique_ptr<LigneCartes> m_ligne;
    std::unique_ptr<TableauTiroirs> m_tiroirs;
    std::unique_ptr<EcouteDatagrammes> m_datagrammes;
    std::unique_ptr<ListesEchange> m_listes;
    std::unique_ptr<Passation> m_passation;
    std::unique_ptr<RegistreRemises> m_registre;
    std::unique_ptr<CycleTraitement> m_cycle;
    std::unique_ptr<LiaisonCdapi> m_liaison;
};
