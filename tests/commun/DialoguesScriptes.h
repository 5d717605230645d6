#pragma once

#include "base/Dialogues.h"

#include <QList>
#include <QString>

// Boîtes de message scriptées : chaque boîte montrée est notée, et les questions
// reçoivent les réponses préparées par le test (à défaut, le bouton par défaut).
class DialoguesScriptes : public Dialogues
{
public:
    struct Boite
    {
        Icone icone;
        QString titre;
        QString texte;
        bool question;
        Reponse parDefaut;
    };

    void Message(Icone icone, const QString& titre, const QString& texte) override;
    Reponse QuestionOuiNon(Icone icone, const QString& titre, const QString& texte,
                           Reponse parDefaut) override;

    void PrepareReponse(Reponse r) { m_reponses.append(r); }
    const QList<Boite>& Boites() const { return m_boites; }

private:
    QList<Boite> m_boites;
    QList<Reponse> m_reponses;
};
