#include "ui/Sheets.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

QDialog *makePlaceholderSheet(const QString &title, QWidget *host) {
    auto *sheet = new QDialog(host);
    sheet->setWindowTitle(title);
    auto *layout = new QVBoxLayout(sheet);
    layout->addWidget(new QLabel(title, sheet));
    auto *buttons = new QDialogButtonBox(sheet);
    buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
    layout->addWidget(buttons);
    return sheet;
}

} // namespace quillon
