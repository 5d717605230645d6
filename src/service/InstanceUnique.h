#pragma once

#include <QLockFile>
#include <QLocalServer>
#include <QObject>
#include <QString>
#include <memory>

// Une seule copie du service par dossier racine, quels que soient l'utilisateur et
// le dossier temporaire : le verrou est RACINE/pelorane.verrou, le canal local
// RACINE/pelorane.canal (sous Windows, un canal nommé d'après la racine). La
// première copie écoute sur le canal ; une seconde copie s'y connecte, demande à la
// première de montrer sa fenêtre (ou de lancer une action) et s'arrête.
class InstanceUnique : public QObject
{
    Q_OBJECT
public:
    explicit InstanceUnique(const QString& racine, QObject* parent = nullptr);
    ~InstanceUnique() override;

    // Vrai quand une copie tourne déjà pour cette racine (le verrou est pris).
    bool InstancePrecedente();
    // Demande à la copie en marche de se montrer ; vrai dès que la demande est écrite
    // (on n'attend pas de réponse : la copie peut être tenue par un échange de cartes).
    bool ActiveInstancePrecedente(const QString& demande = QStringLiteral("activer"));
    // Première copie : ouvre le canal qui reçoit les demandes des copies suivantes.
    bool Ecoute();

    QString NomCanal() const { return m_nomCanal; }
    QString CheminVerrou() const;

    // Qui tient le verrou, tel que son fichier le dit (processus, programme, hôte).
    struct Detenteur
    {
        bool connu = false;
        qint64 pid = 0;
        QString programme;
        QString hote;
    };
    Detenteur DetenteurDuVerrou() const;
    // Le verrou qu'InstancePrecedente a repris : laissé par un processus arrêté de
    // cette machine (connu = faux si le verrou était libre). Un verrou tenu depuis
    // une autre machine n'est jamais repris : rien ne dit qu'elle s'est arrêtée.
    const Detenteur& VerrouRepris() const { return m_repris; }

    // Le processus s'arrête sans détruire ses objets (_Exit) : la copie en marche
    // retire d'abord son canal et son verrou.
    static void LibereALaSortie();

signals:
    void activationDemandee();
    void actionDemandee(const QString& action);

private:
    void LitDemandes();

    QString m_racine;
    QString m_nomCanal;
    std::unique_ptr<QLockFile> m_verrou;
    bool m_verrouTenu = false;
    Detenteur m_repris;
    // La racine a été créée par cette copie : vide à la sortie (démarrage manqué),
    // elle est retirée plutôt que laissée derrière.
    bool m_racineCreee = false;
    QLocalServer m_serveur;
};
