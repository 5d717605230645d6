#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class Horloge;
class QSocketNotifier;

// Veille du dossier d'échange par le système (inotify sous Linux) : dit, nom par
// nom, ce que l'écrivain a fait en dernier (écrit, fermé après écriture, ou
// renommé dans le dossier), et si des noms ont pu entrer ou sortir depuis la
// dernière relecture du dossier. Les notifications sont lues dès qu'elles
// arrivent (QSocketNotifier, pendant les cessions de la boucle) et aussi à la
// demande, sans bloquer, avant chaque décision.
//
// Pas de veille où les notifications ne sont pas sûres : système de fichiers
// réseau ou FUSE (les écritures d'une autre machine n'en donnent pas), veille
// impossible, et hors Linux.
class VeilleDossier : public QObject
{
    Q_OBJECT
public:
    enum class Signe {
        Ecriture, // créé ou modifié : un écrivain le tient peut-être encore
        Fermee,   // fermé après écriture
        Arrivee,  // renommé dans le dossier
    };
    struct Suivi
    {
        Signe signe = Signe::Ecriture;
        qint64 depuis = 0;  // heure où ce signe a été lu
        quint64 numero = 0; // change à chaque notification du nom
    };
    // Un nom gardé entré dans le dossier (créé, renommé dedans) ou sorti
    // (effacé, renommé dehors), dans l'ordre des notifications.
    struct Mouvement
    {
        QByteArray brut;
        bool entre = false;
    };
    // Au-delà, les mouvements ne sont plus gardés un à un : le dossier est à
    // relire en entier (PrendChangement).
    static constexpr int MouvementsMax = 4096;

    // garde : les noms qui comptent (octets du nom) ; les autres sont ignorés.
    VeilleDossier(Horloge& horloge, std::function<bool(const QByteArray&)> garde, QObject* parent = nullptr);
    ~VeilleDossier() override;

    // Pose la veille sur le dossier. Faux quand elle n'est pas posée ; *raison
    // dit pourquoi, vide quand rien n'est à signaler (dossier absent ou
    // illisible, signalé par ailleurs ; système sans notification).
    bool Pose(const QString& dossier, QString* raison);
    bool Active() const { return m_fd >= 0; }
    // Lit les notifications en attente sans bloquer ; faux quand il en reste
    // (lecture bornée) : ce qui est su n'est alors pas à jour.
    bool Lit();
    // Vrai quand le dossier est à relire en entier depuis le dernier appel
    // (pose, perte, débordement, trop de mouvements, le dossier lui-même) :
    // les mouvements ne suffisent plus.
    bool PrendChangement();
    // Les noms entrés et sortis depuis le dernier appel.
    QList<Mouvement> PrendMouvements();
    // Vrai quand le chemin mène encore au dossier veillé (même périphérique et
    // même nœud, liens suivis) : un lien redirigé ou un montage par-dessus le
    // dossier ne donne aucune notification.
    bool MemeDossier(const QString& dossier) const;
    // Ferme la veille : elle ne regarde plus le bon dossier.
    void Abandonne();
    // Dernier signe lu pour ce nom ; nullptr quand aucun n'a été lu depuis la
    // pose ou depuis la dernière perte (débordement de la file, veille perdue).
    const Suivi* SuiviDe(const QString& nom) const;

signals:
    // Des notifications sont arrivées et ont été lues (le dossier a bougé).
    void signesRecus();

private:
    void Traite(quint32 masque, const QByteArray& nom);
    void AjouteMouvement(const QByteArray& nom, bool entre);
    void Perd(); // tout ce qui a été lu n'est plus sûr ; veille fermée si perdue
    void Ferme();

    Horloge& m_horloge;
    std::function<bool(const QByteArray&)> m_garde;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notificateur;
    QHash<QString, Suivi> m_suivis;
    QList<Mouvement> m_mouvements;
    quint64 m_periph = 0; // identité du dossier veillé
    quint64 m_noeud = 0;
    quint64 m_numero = 0;
    bool m_changement = true;
};
