#pragma once

#include <QString>
#include <QStringList>

// La ligne de commande de pelorane : options, aide et version, contrôles de forme.
// Ce qu'il faut en faire (service, historique, action) est décidé par main.
class LigneCommande
{
public:
    enum class Suite
    {
        Service,    // lancer le service et sa fenêtre
        Historique, // --historique
        Action,     // --action NOM vers la copie qui tourne
        Sortie,     // aide, version ou erreur : sortir avec CodeSortie()
    };

    // Lit les arguments (le premier est le programme) ; écrit l'aide, la version ou
    // l'erreur de forme lui-même.
    Suite Lit(const QStringList& arguments);
    int CodeSortie() const { return m_codeSortie; }

    QString racine;        // absolue, finie par '/'
    QString racineDonnee;  // telle qu'écrite, pour les messages
    QString portSerie;
    QStringList sourcesUdp; // --source-udp ; vide : toute adresse
    bool avecJournal = false;
    QString journal;
    int journalJours = 31;
    QString registre;      // vide : RACINE/pelorane-registre.db
    QString action;
    QString depuis;
    bool csv = false;

    // Le registre que lisent --historique et le service.
    QString CheminRegistre() const;
    static QString RacineParDefaut();

private:
    Suite Sort(int code);
    int m_codeSortie = 0;
};
