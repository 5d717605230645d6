#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
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

    // Lecture des entrées des cartes ; lectureTerminee part quand elle est finie (tout
    // de suite en simulation, pour un numéro autre que 0 ou sans carte à lire). Sans
    // effet si une lecture est déjà en cours.
    void LectureEtatTiroir(int n);
    bool LectureEnCours() const { return m_lecture.active; }
    // NumTiroir 0 : tous les tiroirs.
    QString OuvreTiroir(int NumTiroir, CauseLiberation cause = CauseLiberation::Tous);
    QString RechGareLibre();
    void Lbl_Tiroir_Click(int index);
    // Test de liaison : testCartesTermine part quand la dernière carte a répondu.
    void Bt_Test_LiaisonCartes_Click();

    // Nombre de cartes interrogées : tiroirs divisés par deux, arrondi au-dessus.
    int NombreCartes() const;

    // État d'une carte tel que la fenêtre le montre.
    enum EtatCarte : int { CarteRepond = 0, CarteEnRetard = 1 };

signals:
    void couleurChangee(int tiroir, int couleur);
    void lectureTerminee();
    void testCartesTermine();
    void etatCarteChange(const QString& nom, int etat);
    // Émis pour chaque tiroir libéré, avant que OuvreTiroir ne cède la main.
    void tiroirLibere(int tiroir, TableauTiroirs::CauseLiberation cause);

private:
    // Étapes de la lecture : une carte après l'autre, puis le contrôle d'alignement.
    void LitCarteSuivante();
    void Resynchronise(int carte, const QByteArray& adresse);
    void SurLecture(int carte, const QByteArray& resultat);
    void Controle();
    void FinLecture();
    // Lecture juste : tiroirs au vert, horodatages, sortie 8 éteinte.
    void Applique(int carte, const QByteArray& resultat);
    // Lecture manquée : tiroirs rouges, texte tel qu'il est revenu, carte en retard.
    void Manquee(int carte, const QByteArray& resultat);
    QString NomCarte(int carte) const;
    // etatCarteChange seulement quand l'état de la carte change.
    void NoteEtatCarte(int carte, EtatCarte etat);

    struct Lecture
    {
        bool active = false;
        int carte = 0;
        // Lectures prises alors qu'une réponse en retard pouvait encore arriver :
        // appliquées seulement si la trame de contrôle reçoit bien sa réponse.
        QList<QPair<int, QByteArray>> retenues;
    };
    Lecture m_lecture;
    std::array<int, 5> m_etatsCartes{ -1, -1, -1, -1, -1 }; // index 1 à 4 ; -1 : pas encore lue

    JournalStatut& m_journal;
    Horloge& m_horloge;
    LigneCartes& m_ligne;
    const Configuration& m_configuration;

    // Index 0 jamais utilisé, comme les libellés 1 à 8 de la fenêtre.
    std::array<int, NombreMaxTiroirs + 1> m_couleurs{};
    std::array<qint64, NombreMaxTiroirs + 1> m_heures{};
    int m_prochaineGare = 0; // ProchaineGare : vit autant que le programme
};
