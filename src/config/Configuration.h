#pragma once

#include <QString>
#include <array>

// Valeurs lues une fois au démarrage (les quatorze clés, converties) et chemins
// tirés de la ligne de commande. Une modification prend effet au démarrage suivant.
struct Configuration
{
    // Clés, dans l'ordre de lecture, avec leurs valeurs par défaut.
    int NbTiroirs = 4;                                  // Nb_Tiroirs, borné à 0..8
    QString CdapiPortServeur = QStringLiteral("43323"); // tel que stocké, blancs compris
    QString CdapiAdrServeur = QStringLiteral("127.0.0.1");
    QString NormeCDAPI = QStringLiteral("CDAPI-B");
    QString UdpPort = QStringLiteral("43325");          // tel que stocké, blancs compris
    QString UdpAdr = QStringLiteral("127.0.0.1");
    QString ParamComTiroirs = QStringLiteral("1:9600,n,8,1");
    std::array<QString, 5> NomCarteExt{ { QString(), QStringLiteral("Z45"), QStringLiteral("Z44"),
                                          QStringLiteral("Z43"), QStringLiteral("Z42") } }; // 1..4
    QString LectReelleEtatTiroirs = QStringLiteral("O");
    QString TitreFenetre = QStringLiteral("PELORANE - GRINDEL");
    qint64 TempsMaxAttenteMs = 30000;

    // Chemins (option --racine) : dossier d'échange avec son séparateur final,
    // fichier de passation "zCdeMnl.txt".
    QString DossierEchange;
    QString FichierPassation;
    // Option --port-serie : périphérique imposé pour la ligne des cartes (vide sinon).
    QString PortSerieImpose;

    bool ModeSimulation() const { return LectReelleEtatTiroirs == QLatin1String("N"); }
};
