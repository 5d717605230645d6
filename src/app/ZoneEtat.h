#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;

// Zone d'état sous les contrôles de la fenêtre : ce qui dure (liaison CDAPI, cartes,
// registre des remises, dossier d'échange), chaque état avec l'heure de son dernier
// changement. Le technicien y voit d'un coup d'œil ce que le journal ne montre qu'en
// passant. Aucune de ses couleurs n'est le rouge, qui reste aux tiroirs occupés.
class ZoneEtat : public QWidget
{
    Q_OBJECT
public:
    static constexpr int HauteurPixels = 68;

    explicit ZoneEtat(QWidget* parent = nullptr);

    // Heure murale locale des changements (les tests la fixent).
    void ChangeHorlogeMurale(std::function<QDateTime()> horloge) { m_horlogeMurale = std::move(horloge); }

    void LiaisonEtablie();
    // prochainEssaiS < 0 : aucun essai automatique, le prochain envoi connectera.
    void LiaisonCoupee(int prochainEssaiS);
    // etat : 0 répond, 1 en retard, 2 port perdu.
    void CarteChange(const QString& nom, int etat);
    void ProtectionChange(bool active);
    // etat : 0 veillé, 1 inaccessible, 2 sans veille (raison vide : veille perdue).
    void DossierChange(int etat, const QString& raison);

    QLabel* Lbl_EtatLiaison() const { return m_lblLiaison; }
    QLabel* Lbl_EtatCartes() const { return m_lblCartes; }
    QLabel* Lbl_EtatRegistre() const { return m_lblRegistre; }
    QLabel* Lbl_EtatDossier() const { return m_lblDossier; }

private:
    struct EtatCarte
    {
        QString nom;
        int etat = 0;
        QString depuis;
    };
    QLabel* CreeLigne(const char* nom, int rang);
    QString Heure() const;
    QString HeureSecondes(int dansS) const;
    void Montre(QLabel* ligne, const QString& texte, bool enDefaut);
    void MontreCartes();

    QLabel* m_lblLiaison = nullptr;
    QLabel* m_lblCartes = nullptr;
    QLabel* m_lblRegistre = nullptr;
    QLabel* m_lblDossier = nullptr;
    std::function<QDateTime()> m_horlogeMurale = [] { return QDateTime::currentDateTime(); };

    int m_etatLiaison = -1; // -1 jamais ouverte, 0 établie, 1 coupée
    QString m_liaisonDepuis;
    QList<EtatCarte> m_cartes;
    int m_protection = -1; // -1 pas encore ouvert
    QString m_protectionDepuis;
    int m_etatDossier = -1;
    QString m_dossierDepuis;
};
