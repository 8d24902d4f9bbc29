#include "platform/desktop/AlertBox.h"

#include "platform/DisplayText.h"
#include "platform/desktop/PlainTextWidgets.h"

#include "platform/desktop/TextRoom.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace quillon {
namespace {

constexpr QChar kWordJoiner(0x2060);

/// Characters after which a line may break between clauses.
bool endsClause(QChar c) {
    static const QString ends = QStringLiteral("，。；：！？、,.;:!?\n");
    return ends.contains(c);
}

bool beyondAscii(const QString &text, qsizetype at) {
    return at >= 0 && at < text.size() && text.at(at).unicode() > 0x7f;
}

/// One clause (no line end inside) with no line break left next to a character beyond ASCII:
/// a word joiner at each such line-break opportunity, and such spaces made no-break spaces
/// (Qt breaks at every ordinary space).
QString joined(QString clause) {
    for (qsizetype i = 0; i < clause.size(); ++i) {
        if (clause.at(i) == QLatin1Char(' ') && (beyondAscii(clause, i - 1) || beyondAscii(clause, i + 1))) {
            clause[i] = QChar::Nbsp;
        }
    }
    QString result;
    QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, clause);
    qsizetype from = 0;
    for (qsizetype at = breaks.toNextBoundary(); at > 0 && at < clause.size(); at = breaks.toNextBoundary()) {
        result += clause.mid(from, at - from);
        from = at;
        if (beyondAscii(clause, at - 1) || beyondAscii(clause, at)) {
            result += kWordJoiner;
        }
    }
    return result + clause.mid(from);
}

} // namespace

QString keepClausesWhole(const QString &text, const QFontMetrics &metrics, int width) {
    QString result;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !endsClause(text.at(i))) {
            continue;
        }
        // The clause with its closing mark; a clause too wide for a line keeps its breaks.
        const qsizetype end = std::min(i + 1, text.size());
        QString clause = text.mid(start, end - start);
        if (clause.endsWith(QLatin1Char('\n'))) {
            clause.chop(1);
            result += (metrics.horizontalAdvance(clause) <= width ? joined(clause) : clause) + QLatin1Char('\n');
        } else {
            result += metrics.horizontalAdvance(clause) <= width ? joined(clause) : clause;
        }
        start = end;
    }
    return result;
}

AlertBox alertBox(const AlertRequest &request, QWidget *parent) {
    AlertBox alert{std::make_unique<QMessageBox>(parent), {}};
    QMessageBox &box = *alert.box;
    switch (request.style) {
    case AlertRequest::Style::Informational:
        box.setIcon(QMessageBox::Information);
        break;
    case AlertRequest::Style::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case AlertRequest::Style::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    const QFontMetrics metrics = box.fontMetrics();
    // Alerts carry names and codes from the service: shown as the words they are, without
    // control or direction characters, before the joiners that keep clauses whole go in.
    const QString message = displayLine(request.messageText);
    const QString informative = displayNote(request.informativeText);
    box.setText(keepClausesWhole(message, metrics, kAlertTextWidth));
    box.setInformativeText(keepClausesWhole(informative, metrics, kAlertTextWidth));
    keepPlainText(box);
    // Wide enough for a sentence or two a line: the box's own limit would wrap every line.
    if (auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setMinimumWidth(std::min(kAlertTextWidth, metrics.horizontalAdvance(informative)));
    }
    const QStringList titles = request.buttons.isEmpty() ? QStringList{QStringLiteral("好的")} : request.buttons;
    for (const QString &title : titles) {
        QPushButton *button = box.addButton(title, alert.buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
        button->setMinimumWidth(std::max(button->minimumWidth(), widthWithTextRoom(*button)));
        alert.buttons.append(button);
    }
    box.setDefaultButton(qobject_cast<QPushButton *>(alert.buttons.first()));
    return alert;
}

} // namespace quillon
