#pragma once

#include <QCommandLineOption>
#include <QString>

class QCommandLineParser;

// pelorane --rapport [--du AAAA-MM-JJ] [--au AAAA-MM-JJ] --pdf FICHIER : le rapport
// d'activité tiré du registre, en lecture seule, sans ouvrir de service.
class CommandeRapport
{
public:
    // Ajoute les options du rapport à l'analyseur (avant son analyse).
    explicit CommandeRapport(QCommandLineParser& analyseur);

    // Après l'analyse : -1 si la ligne de commande ne parle pas du rapport, sinon
    // le code de sortie (0 rapport écrit, 1 registre illisible, PDF impossible ou rapport
    // absent de cette construction (sans Qt Charts),
    // 64 ligne de commande incorrecte).
    int Traite(const QString& registre) const;

    // Pièce de rapport : pied de page commun au PDF et à l'impression.
    static QString Pied(const QString& registre);

private:
    int Execute(const QString& registre) const;

    QCommandLineParser& m_analyseur;
    QCommandLineOption m_rapport;
    QCommandLineOption m_du;
    QCommandLineOption m_au;
    QCommandLineOption m_pdf;
};
