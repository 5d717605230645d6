#pragma once

#include "orders/StatistiquesJour.h"

#include <QDate>
#include <QDialog>
#include <QList>
#include <QString>
#include <functional>

class Dialogues;
class QPrintPreviewWidget;
class QPushButton;
class QToolButton;

// Fenêtre "Rapport d'activité" : aperçu du rapport du jour, imprimé sur
// l'imprimante par défaut comme la fenêtre Liste (même accès remplaçable).
// Non modale ; une seule à la fois.
class FrmRapport : public QDialog
{
    Q_OBJECT
public:
    // Ajoute au menu contextuel de la fenêtre (clic droit sur son fond ou ses
    // étiquettes) l'entrée "Rapport d'activité du jour..." ; registre() donne le
    // chemin du registre ("" tant qu'il n'est pas ouvert).
    static void AjouteMenu(QWidget* fenetre, Dialogues& dialogues, std::function<QString()> registre);

    // Lit le registre et montre le rapport du jour ; une boîte dit pourquoi
    // quand le registre ne se lit pas.
    static void Montre(Dialogues& dialogues, const QString& registre, const QDate& jour);
    static FrmRapport* FenetreOuverte();

    void BtImprimer_Click();
    // Bouton "Enregistrer en PDF…" : demande le fichier (boîte non bloquante).
    void BtEnregistrerPdf_Click();
    // Écrit le rapport en PDF dans fichier ; une boîte dit l'échec.
    bool EnregistrePdf(const QString& fichier);
    static QString TexteSansImprimante();

    QPrintPreviewWidget* Apercu() const { return m_apercu; }
    QToolButton* BtImprimer() const { return m_btImprimer; }
    QPushButton* Bt_fermer() const { return m_btFermer; }
    QPushButton* BtEnregistrerPdf() const { return m_btPdf; }
    const QList<StatistiquesJour>& Jours() const { return m_jours; }

private:
    FrmRapport(Dialogues& dialogues, QList<StatistiquesJour> jours, QString pied);

    Dialogues& m_dialogues;
    QList<StatistiquesJour> m_jours;
    QString m_pied;
    QPrintPreviewWidget* m_apercu = nullptr;
    QToolButton* m_btImprimer = nullptr;
    QPushButton* m_btFermer = nullptr;
    QPushButton* m_btPdf = nullptr;
};
