#pragma once

#include "service/ServicePelorane.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QIcon>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class ZoneEtat;

// Fenêtre principale : elle montre l'état (journal, listes, tiroirs) et porte les
// gestionnaires d'événements ; le démarrage et le travail sont ceux du service.
class F1Pelorane : public QWidget
{
    Q_OBJECT
public:
    using Options = ServicePelorane::Options;
    // terminer(code) met fin au programme sur-le-champ.
    F1Pelorane(Horloge& horloge, Dialogues& dialogues, JournalStatut& journal, InstanceUnique* instance,
               Options options, std::function<void(int)> terminer, QWidget* parent = nullptr);
    ~F1Pelorane() override;

    // Démarrage complet puis boucle de traitement ; ne revient pas tant que le programme tourne.
    void Form_Load();
    // Étapes du démarrage jusqu'à l'attente des commandes ; faux si le programme s'est arrêté.
    bool Demarrage();
    // Fermeture : question (sauf ArretSansConfirmation), liens fermés, fin du programme.
    void Form_Unload(int& Cancel);

    void Timer1_Timer();
    void Bt_Quitter_Click();
    void Bt_Reduire_Click();
    void Bt_Test_LiaisonCartes_Click();
    void Bt_TestLiaisonCDAPI_Click();
    void Lbl_Tiroir_Click(int Index);
    void LstFichierCD_Click();
    void LstFichierRT_Click();
    // Arrêt demandé par le système (SIGTERM, SIGINT) : comme une fermeture sans question.
    void ArreteSansQuestion();
    // Demande d'une seconde copie : restaurer et montrer la fenêtre.
    void MontreAuPremierPlan();
    // Actions qu'une commande locale (pelorane --action NOM) peut demander à la copie
    // qui tourne ; chacune fait ce que ferait le clic sur le bouton correspondant.
    static QStringList ActionsConnues();
    void LanceAction(const QString& action);

    bool ArretSansConfirmation = false;

    ServicePelorane& Service() const { return *m_service; }
    const Configuration& Parametres() const { return m_service->Parametres(); }
    QLabel* Lbl_Tiroir(int i) const { return m_lblTiroir.at(size_t(i)); }
    QLabel* Lbl_Titre() const { return m_lblTitre; }
    QLabel* Lbl_compteur() const { return m_lblCompteur; }
    QCheckBox* ChkReductionAutomatique() const { return m_chkReduction; }
    QPlainTextEdit* Text_HistMessages() const { return m_textHist; }
    QPushButton* Bt_Test_CDAPI_A() const { return m_btTestCdapiA; }
    int CompteurReduction() const { return m_compteurReduction; }
    bool IconeMarquee() const { return m_marqueIcone == QLatin1String("*"); }
    ZoneEtat* Zone_Etat() const { return m_zoneEtat; }
    // Texte de la boîte "À propos de Pelorane…" : version et fichiers en service.
    QString TexteAPropos() const;
    // Met dans la boîte du journal ce qui est arrivé depuis la dernière mise en page ;
    // la minuterie du journal l'appelle, au plus quatre fois par seconde, fenêtre visible.
    void MontreJournalEnAttente();
    static constexpr int IntervalleJournalMs = 250;

protected:
    void closeEvent(QCloseEvent* evenement) override;
    void changeEvent(QEvent* evenement) override;
    void showEvent(QShowEvent* evenement) override;
    bool eventFilter(QObject* objet, QEvent* evenement) override;

private:
    void CreeControles();
    void CreeEntete();
    void CreeListes();
    void CreeTiroirs();
    void CreeBoutons();
    void CreeZoneEtat();
    void AjouteAide();
    void AjouteMenuAPropos();
    bool JournalVisible() const;
    void MontreJournalBientot();
    void SuitLeService();
    void SuitLesAppareils();
    void MontreTiroirs(int nombre);
    void PeintTiroir(int n, int couleur);
    void MontreListe(QListWidget* liste, QLabel* compteur, const QStringList& noms);
    void CliqueListe(QListWidget* liste);
    void MontreJournal(bool remplace, const QString& texte);
    void Termine(int code);

    Dialogues& m_dialogues;
    JournalStatut& m_journal;
    InstanceUnique* m_instance;
    std::function<void(int)> m_terminer;
    bool m_termine = false;
    int m_codeArret = 0; // code de sortie d'un arrêt sans question décidé par le programme

    std::unique_ptr<ServicePelorane> m_service;

    QLabel* m_lblTitre = nullptr;
    QCheckBox* m_chkReduction = nullptr;
    QLabel* m_lblCompteur = nullptr;
    QPushButton* m_btReduire = nullptr;
    QLabel* m_lblHeure = nullptr;
    QListWidget* m_lstFichierCD = nullptr;
    QListWidget* m_lstFichierRT = nullptr;
    QPlainTextEdit* m_txtDerniereCde = nullptr;
    QPlainTextEdit* m_textHist = nullptr;
    QLabel* m_lblNbFichierCD = nullptr;
    QLabel* m_lblNbFichierRT = nullptr;
    std::array<QLabel*, 9> m_lblTiroir{};
    QPushButton* m_btTestCartes = nullptr;
    QPushButton* m_btTestCdapi = nullptr;
    QPushButton* m_btTestCdapiA = nullptr;
    QPushButton* m_btQuitter = nullptr;
    QTimer m_timer1;
    ZoneEtat* m_zoneEtat = nullptr;

    // Les deux icônes et les deux légendes sont faites une fois : une icône refaite à
    // chaque tic serait une nouvelle entrée du cache des images sous un vrai écran.
    QIcon m_icone1;
    QIcon m_icone2;
    QString m_legendeVersion;

    // Journal : ce qui attend sa mise en page (la boîte n'est refaite que visible).
    QString m_journalEnAttente;
    bool m_journalARemplacer = false;
    QTimer m_minuterieJournal;

    QString m_marqueIcone;
    int m_compteurReduction = 0;
    bool m_ignoreRelachement = false; // relâchement qui suit un double clic
};
