#include "CaseACocherMultiligne.h"

#include <QStyleOptionButton>
#include <QStylePainter>

void CaseACocherMultiligne::paintEvent(QPaintEvent*)
{
    QStylePainter peintre(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString legende = option.text;
    option.text.clear();
    const QRect indicateur = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
    option.rect = QRect(indicateur.left(), (height() - indicateur.height()) / 2, indicateur.width(), indicateur.height());
    peintre.drawPrimitive(QStyle::PE_IndicatorCheckBox, option);
    const QRect texte = rect().adjusted(indicateur.right() + 4, 0, 0, 0);
    peintre.setPen(palette().color(QPalette::WindowText));
    peintre.drawText(texte, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, legende);
}

bool CaseACocherMultiligne::hitButton(const QPoint& position) const
{
    return rect().contains(position);
}
