#include "DialoguesScriptes.h"

void DialoguesScriptes::Message(Icone icone, const QString& titre, const QString& texte)
{
    m_boites.append({ icone, titre, texte, false, Reponse::Ok });
}

Dialogues::Reponse DialoguesScriptes::QuestionOuiNon(Icone icone, const QString& titre,
                                                     const QString& texte, Reponse parDefaut)
{
    m_boites.append({ icone, titre, texte, true, parDefaut });
    return m_reponses.isEmpty() ? parDefaut : m_reponses.takeFirst();
}
