#include "timeline/SeamCell.h"

#include "cells/Appearance.h"

#include <QTextBlockFormat>

AttributedString SeamCell::stringForTextView(bool& determinate)
{
    determinate = true;
    AttributedString text(QStringLiteral("显示更多新微博"));
    const Appearance& appearance = CellContext::current().appearance();
    text.setFont(appearance.bodyFont());
    text.setForegroundColor(QColor::fromRgbF(0.235f, 0.392f, 0.631f, 1.0f));
    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    text.setParagraphStyle(centred);
    return text;
}
