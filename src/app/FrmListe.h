#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class Dialogues;
class JournalStatut;
class QPlainTextEdit;
class QPrinter;
class QPushButton;
class QToolButton;

// Fenêtre "Liste" : montre un fichier du dossier d'échange et l'imprime sur
// l'imprimante par défaut. Non modale ; une seule à la fois, réutilisée
// jusqu'à sa fermeture.
class FrmListe : public QDialog
{
    Q_OBJECT
public:
    // Accès à l'imprimante, remplaçable (les tests impriment dans un PDF).
    struct Imprimantes
    {
        // Nom de l'imprimante par défaut ; "" quand il n'y en a pas.
        std::function<QString()> nomParDefaut;
        // Une imprimante neuve pour chaque impression : un QPrinter dont
        // l'ouverture a échoué reste inutilisable.
        std::function<std::unique_ptr<QPrinter>(const QString& nom)> cree;
    };

    explicit FrmListe(Dialogues& dialogues, QWidget* parent = nullptr);
    ~FrmListe() override;

    // Clic sur un fichier listé : lit le fichier, remplit la fenêtre (créée au
    // premier usage, réutilisée ensuite) et la montre. Un fichier disparu entre
    // la liste et le clic : une ligne de journal et pas de fenêtre.
    static void MontreFichier(QWidget* parent, JournalStatut& journal, Dialogues& dialogues,
                              const QString& cheminComplet);
    // La fenêtre ouverte, nullptr quand il n'y en a pas.
    static FrmListe* FenetreOuverte();

    // Remplace l'accès à l'imprimante de toutes les fenêtres ; vide : le système.
    static void MetImprimantes(const Imprimantes& imprimantes);
    // L'imprimante par défaut ("" sans imprimante) et une imprimante neuve à son
    // nom, par l'accès courant (aussi pour le rapport d'activité).
    static QString NomImprimanteParDefaut();
    static std::unique_ptr<QPrinter> CreeImprimante(const QString& nom);
    // Disposition commune des fenêtres à imprimer : `contenu` au-dessus, puis le bouton
    // d'impression (bulle `bulleImprimer`) à gauche et "OK" à droite (bulle `bulleOk`,
    // aucune si vide).
    static void DisposeAvecBoutons(QWidget* fenetre, QWidget* contenu, const QString& bulleImprimer,
                                   const QString& bulleOk, QToolButton** imprimer, QPushButton** ok);

    // Lignes imprimées pour un texte : un saut de ligne clôt une ligne (vide
    // comprise), un retour chariot est ignoré, un reste non vide fait la
    // dernière ligne.
    static QStringList LignesAImprimer(const QString& texte);

    QString NamePrinterDefaut();
    void BtImprimer_Click();
    void Bt_fermer_Click();

    QString Texte() const;
    void MetTexte(const QString& texte);

    QPlainTextEdit* Text1() const { return m_text1; }
    QToolButton* BtImprimer() const { return m_btImprimer; }
    QPushButton* Bt_fermer() const { return m_btFermer; }

private:
    void SignaleErreurImpression(const QString& nomImprimante);

    Dialogues& m_dialogues;
    QPlainTextEdit* m_text1 = nullptr;
    QToolButton* m_btImprimer = nullptr;
    QPushButton* m_btFermer = nullptr;
};
