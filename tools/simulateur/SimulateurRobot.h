#pragma once

#include "OptionsSimulation.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUdpSocket>
#include <array>
#include <memory>

class EmulateurCartes;
class HoteCdapi;

// Tout ce qui entoure le service, en boucle locale et dans une racine donnée :
// le programme hôte (fichier de passation, CDAPI), les cartes d'extension sur un
// pseudo-terminal, le convoyeur (datagrammes de fin de convoyage) et les comptoirs
// de vente (fichiers de commande et de retour).
class SimulateurRobot : public QObject
{
    Q_OBJECT
public:
    explicit SimulateurRobot(const OptionsSimulation& options, QObject* parent = nullptr);
    ~SimulateurRobot() override;

    // Prépare l'installation, ouvre les cartes et le CDAPI ; faux et l'erreur sinon.
    bool Demarre(QString* erreur);
    QString CheminCartes() const;
    QString LienCartes() const;
    // Bilan final, ligne par ligne.
    QStringList Bilan() const;

signals:
    void message(const QString& ligne);

private:
    struct Tiroir
    {
        bool occupe = false;      // de la prise par l'hôte jusqu'au retrait des boîtes
        bool boitesPresentes = false;
    };

    void DeposeCommande();
    void DeposeRetour();
    void SurveillePassation();
    void PrendCommande();
    void ArriveeBoites(int tiroir, const QString& ordre);
    void RetraitBoites(int tiroir);
    void MetEntreesCartes();
    void SurArriveeCdapi(const QByteArray& octets);
    void EnvoieDemandeEjection();
    void EnvoieIdentification();
    void Dit(const QString& ligne);
    QString FichierPassation() const;
    QString DossierEchange() const;

    OptionsSimulation m_options;
    std::unique_ptr<EmulateurCartes> m_cartes;
    std::unique_ptr<HoteCdapi> m_hote;
    QUdpSocket m_convoyeur;
    QTimer m_minuterieComptoirs;
    QTimer m_minuteriePassation;
    QTimer m_minuterieDemandeA;
    QTimer m_minuterieIdentification;
    QElapsedTimer m_chrono;
    bool m_priseEnCours = false;
    std::array<Tiroir, 9> m_tiroirs{};

    int m_numeroCommande = 0;
    int m_deposees = 0;
    int m_retours = 0;
    int m_livrees = 0;
    int m_datagrammes = 0;
    int m_datagrammesPerdus = 0;
    int m_versTiroirOccupe = 0;
    int m_versTiroirInconnu = 0;
    int m_demandesA = 0;
    int m_reponsesA = 0;
    int m_identificationsEnvoyees = 0;
    int m_reponsesR = 0;
    int m_identifications = 0;
    int m_livraisonsEnCours = 0;
    QSet<QString> m_ordresDeposes;
    QHash<QString, int> m_prises; // ordre -> nombre de prises
};
