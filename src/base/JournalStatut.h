#pragma once

#include "base/FiltreSortiesAux.h"
#include "base/JournalFichier.h"
#include "base/ResumeRepetitions.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

// Journal d'état : le texte unique que l'opérateur suit dans Text_HistMessages.
// Il vit ici, hors des fenêtres ; la fenêtre le reflète par les deux signaux
// (ajout d'un morceau, remplacement du tout) pour que l'ajout reste bon marché
// même à 20000 caractères. Chaque texte reçu peut aussi être recopié, horodaté,
// dans un fichier journal (option --journal).
class JournalStatut : public QObject
{
    Q_OBJECT
public:
    static constexpr int TailleMaximale = 20000;

    explicit JournalStatut(QObject* parent = nullptr);

    // Ajoute messy et CR LF ; "clear" (toute casse) vide le journal ;
    // au-delà de 20000 caractères le texte devient "...." CR LF.
    void MessageStatus(const QString& messy);
    // Même chose, la ligne comptant pour le genre donné dans les résumés (vide : le
    // texte aux chiffres masqués).
    void MessageStatus(const QString& messy, const QString& genre);
    // Lignes d'un même genre trop rapprochées résumées (ResumeRepetitions), dans la
    // fenêtre comme dans le fichier ; horlogeMs : millisecondes monotones (par défaut
    // celles du processus). Sans cet appel, chaque ligne passe.
    void ActiveResumes(std::function<qint64()> horlogeMs = {});
    // Écrit les résumés des rafales finies ; la minuterie l'appelle chaque seconde
    // tant qu'un résumé attend.
    void EcritResumesEchus();
    // Le texte de la fenêtre tait les lignes de sortie auxiliaire qui redisent un état
    // inchangé (FiltreSortiesAux) ; le fichier journal les garde toutes. Sans cet
    // appel, chaque ligne passe.
    void ActiveFiltreSortiesAux() { m_filtreAux = std::make_unique<FiltreSortiesAux>(); }
    // Continue la ligne courante : pas de CR LF, jamais de coupe.
    void MessageStatusSScr(const QString& messy);

    const QString& Texte() const { return m_texte; }
    // Fichier journal ouvert (vide sans --journal).
    QString CheminFichier() const { return m_fichier.EstOuvert() ? m_fichier.Chemin() : QString(); }
    // Position du curseur (début de sélection, sans sélection) après le dernier ajout.
    int PositionCurseur() const { return m_curseur; }

    // Ouvre le fichier journal en ajout, un fichier par jour, les fichiers tournés
    // gardés joursConservation jours ; faux et le texte de l'erreur sinon.
    bool OuvreFichierJournal(const QString& chemin, QString* erreur, int joursConservation = 31);
    // Heure murale locale des lignes du fichier et du changement de jour (les tests
    // la remplacent pour passer minuit).
    void ChangeHorlogeMurale(std::function<QDateTime()> horloge) { m_horlogeMurale = std::move(horloge); }

signals:
    void texteAjoute(const QString& morceau);
    void texteRemplace(const QString& texte);

private:
    void Ajoute(const QString& messy, bool finDeLigne);
    void EcritFichier(const QString& morceau);

    QString m_texte;
    int m_curseur = 0;
    void SignaleEtatFichier(JournalFichier::Etat etat);

    JournalFichier m_fichier;
    std::function<QDateTime()> m_horlogeMurale = [] { return QDateTime::currentDateTime(); };
    bool m_debutLigneFichier = true;

    std::unique_ptr<FiltreSortiesAux> m_filtreAux;
    std::unique_ptr<ResumeRepetitions> m_resumes;
    std::function<qint64()> m_horlogeResumes;
    QTimer m_minuterieResumes;
};
