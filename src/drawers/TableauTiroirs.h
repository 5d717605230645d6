#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>

class Horloge;
class JournalStatut;
class LigneCartes;
struct Configuration;

// États des tiroirs (la couleur de Lbl_Tiroir(n) est l'état) et horodatages.
class TableauTiroirs : public QObject
{
    Q_OBJECT
public:
    enum EtatTiroir : int {
        NonInitialise = 16777215, // blanc
        PasEnAttente = 255,       // rouge
        AutoriseCde = 65280,      // vert
        CdeEnCours = 65535,       // jaune
    };
    static constexpr int NombreMaxTiroirs = 8;
    // Pourquoi un tiroir est libéré (gardé au registre des remises ; Aucune :
    // pas encore libéré, pour l'historique).
    enum class CauseLiberation { Aucune, Tous, Datagramme, Temps, Clic };

    TableauTiroirs(JournalStatut& journal, Horloge& horloge, LigneCartes& ligne,
                   const Configuration& configuration, QObject* parent = nullptr);

    int NbTiroirs() const;
    // Démarrage : tiroirs 1..NbTiroirs blancs, horodatages à 0.
    void Initialise();

    int Couleur(int n) const;              // 0 hors de 1..8
    void MetCouleur(int n, int couleur);   // émet couleurChangee si elle change
    qint64 HeureTiroirLibre(int n) const;  // 0 = pas d'horodatage
    void MetHeureTiroirLibre(int n, qint64 heure);

    void LectureEtatTiroir(int n);
    // NumTiroir 0 : tous les tiroirs.
    QString OuvreTiroir(int NumTiroir, CauseLiberation cause = CauseLiberation::Tous);
    QString RechGareLibre();
    void Lbl_Tiroir_Click(int index);
    void Bt_Test_LiaisonCartes_Click();

    // Nombre de cartes interrogées : tiroirs divisés par deux, arrondi au-dessus.
    int NombreCartes() const;

signals:
    void couleurChangee(int tiroir, int couleur);
    // Émis pour chaque tiroir libéré, avant que OuvreTiroir ne cède la main.
    void tiroirLibere(int tiroir, TableauTiroirs::CauseLiberation cause);

private:
    // Échange "commande, adresse de la carte, paramètres" avec la carte i (1 à 4),
    // 1000 ms ; un nom de carte sans adresse possible donne un texte "Err:".
    QByteArray EchangeCarte(int carte, const QByteArray& commande, const QByteArray& parametres);
    // Lecture "G" d'une carte à l'heure, ou resynchronisation "V" d'une carte en retard
    // (alors un résultat nul : rien à appliquer, ses tiroirs sont déjà rouges).
    // dejaAttendu : la passe a déjà attendu une réponse "G" en route (une fois suffit).
    QByteArray LitCarte(int carte, bool& dejaAttendu);
    static constexpr int AttenteLectureEnRouteMs = 1000;

    JournalStatut& m_journal;
    Horloge& m_horloge;
    LigneCartes& m_ligne;
    const Configuration& m_configuration;

    // Index 0 jamais utilisé, comme les libellés 1 à 8 de la fenêtre.
    std::array<int, NombreMaxTiroirs + 1> m_couleurs{};
    std::array<qint64, NombreMaxTiroirs + 1> m_heures{};
    int m_prochaineGare = 0; // ProchaineGare : vit autant que le programme
};
