#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QString>
#include <QUdpSocket>

class JournalStatut;
class TableauTiroirs;

// Socket Winsock_UDP : écoute les datagrammes de fin de convoyage et libère le
// tiroir nommé. Rien n'est jamais renvoyé à l'expéditeur.
class EcouteDatagrammes : public QObject
{
    Q_OBJECT
public:
    EcouteDatagrammes(JournalStatut& journal, TableauTiroirs& tiroirs, QObject* parent = nullptr);

    // Ferme puis lie la socket à adresse:port ; un échec est écrit au journal et le
    // service continue sans écoute.
    void Lie(const QString& adresse, const QString& port);
    // Arrêt : ferme la socket si elle ne l'est pas, sans ligne de journal.
    void Ferme();
    bool EstFerme() const;
    // Port effectivement lié (0 quand la socket est fermée).
    quint16 PortLocal() const;

    // Expéditeurs admis (--source-udp) ; liste vide : tous, comme sans l'option. Une
    // adresse illisible est écrite au journal et n'admet personne.
    void AdmetSources(const QStringList& adresses);

    // Datagrammes traités au plus par tour d'événements.
    static constexpr int DatagrammesParTour = 64;

    // Traitement d'un datagramme reçu.
    void Winsock_UDP_DataArrival(const QByteArray& datagramme);
    // Expéditeurs refusés signalés au plus, pour que la mémoire reste bornée.
    static constexpr int ExpediteursSignalesMax = 256;

    // Période du filet qui relance la lecture si des datagrammes attendent.
    static constexpr int FiletMs = 500;

private:
    void ProgrammeLecture();
    void LitDatagrammesEnAttente();
    bool SourceAdmise(const QHostAddress& expediteur);

    JournalStatut& m_journal;
    TableauTiroirs& m_tiroirs;
    QUdpSocket m_socket;
    bool m_lectureEnCours = false;
    bool m_suiteProgrammee = false; // un appel différé de LitDatagrammesEnAttente attend
    QTimer m_filet;
    bool m_filtre = false;
    QList<QHostAddress> m_sources;
    QSet<QString> m_refusesSignales;
};
