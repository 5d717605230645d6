#pragma once

#include <QByteArray>
#include <QHash>
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
    // Vrai quand des noms ont pu entrer ou sortir (ou le dossier changer)
    // depuis le dernier appel.
    bool PrendChangement();
    // Dernier signe lu pour ce nom ; nullptr quand aucun n'a été lu depuis la
    // pose ou depuis la dernière perte (débordement de la file, veille perdue).
    const Suivi* SuiviDe(const QString& nom) const;

signals:
    // Des notifications sont arrivées et ont été lues (le dossier a bougé).
    void signesRecus();

private:
    void Traite(quint32 masque, const QByteArray& nom);
    void Perd(); // tout ce qui a été lu n'est plus sûr ; veille fermée si perdue
    void Ferme();

    Horloge& m_horloge;
    std::function<bool(const QByteArray&)> m_garde;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notificateur;
    QHash<QString, Suivi> m_suivis;
    quint64 m_numero = 0;
    bool m_changement = true;
};
