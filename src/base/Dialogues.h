#pragma once

#include <QString>

// Boîtes de message du service, derrière une petite interface : les tests
// écrivent d'avance la réponse et relisent les textes montrés.
class Dialogues
{
public:
    enum class Icone { Critique, Exclamation, Information };
    enum class Reponse { Ok, Oui, Non };

    virtual ~Dialogues() = default;

    // Boîte à un seul bouton OK.
    virtual void Message(Icone icone, const QString& titre, const QString& texte) = 0;
    // Boîte Oui/Non ; parDefaut est le bouton par défaut.
    virtual Reponse QuestionOuiNon(Icone icone, const QString& titre, const QString& texte,
                                   Reponse parDefaut) = 0;
};

// Titre des boîtes qui n'en donnent pas d'autre : celui de l'application.
inline QString TitreApplication()
{
    return QStringLiteral("VBpelorane");
}
