#include "install/views/NetdiskDeliverySheet.h"

#include "platform/DisplayText.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <cmath>

namespace quillon {

namespace {

// The platform's text styles, in logical pixels.
constexpr int title2Size = 17;
constexpr int title3Size = 15;
constexpr int bodySize = 13;
constexpr int subheadlineSize = 11;
constexpr int captionSize = 10;

const QColor orange(0xFF, 0x95, 0x00);
const QColor green(0x34, 0xC7, 0x59);
const QColor accent(0x00, 0x7A, 0xFF);

QFont textFont(int pixels, bool bold = false) {
    QFont font;
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QFont monospacedFont(int pixels, bool bold = false) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void setTextColour(QWidget *widget, const QColor &colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QColor secondaryColour(const QWidget *widget) {
    QColor colour = widget->palette().color(QPalette::WindowText);
    colour.setAlphaF(0.55);
    return colour;
}

QLabel *makeLabel(const QString &text, const QFont &font, const QString &name, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(font);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *wrappingLabel(const QString &text, const QFont &font, const QString &name, QWidget *parent) {
    QLabel *label = makeLabel(text, font, name, parent);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    return label;
}

QPushButton *makeButton(const QString &text, const QString &name, QWidget *parent) {
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

QString link(const QUrl &url, const QString &text) {
    return QStringLiteral("<a href=\"%1\">%2</a>")
        .arg(url.toString(QUrl::FullyEncoded).toHtmlEscaped(), text.toHtmlEscaped());
}

/// Selectable text that wraps anywhere (links, codes and passwords have no blanks) and
/// is as high as its lines, so nothing is cut however long the text the service sent.
QTextBrowser *wrappingText(const QFont &font, const QString &name, QWidget *parent) {
    auto *text = new QTextBrowser(parent);
    text->setObjectName(name);
    text->setFont(font);
    text->setOpenLinks(false);
    text->setOpenExternalLinks(false);
    text->setFrameShape(QFrame::NoFrame);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text->viewport()->setAutoFillBackground(false);
    text->setStyleSheet(QStringLiteral("QTextBrowser { background: transparent; }"));
    text->document()->setDocumentMargin(0);
    QObject::connect(text->document()->documentLayout(), &QAbstractTextDocumentLayout::documentSizeChanged, text,
                     [text](const QSizeF &size) { text->setFixedHeight(int(std::ceil(size.height()))); });
    return text;
}

QTextBrowser *wrappingPlainText(const QString &value, const QFont &font, const QString &name, QWidget *parent) {
    QTextBrowser *text = wrappingText(font, name, parent);
    text->setPlainText(value);
    return text;
}

/// The delivery as the sheet shows and copies it: the service's texts without characters
/// that could hide or reorder what the user reads or pastes (the link is percent-encoded).
NetdiskDelivery shownDelivery(NetdiskDelivery delivery) {
    delivery.productName = displayLine(delivery.productName);
    delivery.accessCode = displayLine(delivery.accessCode);
    delivery.archivePassword = displayLine(delivery.archivePassword);
    delivery.note = displayNote(delivery.note);
    return delivery;
}

/// A group box whose content is padded 4 points above and below.
QGroupBox *makeGroupBox(const QString &title, const QString &name, QWidget *parent) {
    auto *box = new QGroupBox(title, parent);
    box->setObjectName(name);
    return box;
}

} // namespace

NetdiskDeliverySheet::NetdiskDeliverySheet(const NetdiskDelivery &delivery, std::shared_ptr<Pasteboard> pasteboard,
                                           std::shared_ptr<Workspace> workspace, std::function<void()> dismiss,
                                           QWidget *parent)
    : QDialog(parent), m_delivery(delivery), m_pasteboard(std::move(pasteboard)), m_workspace(std::move(workspace)),
      m_dismiss(std::move(dismiss)) {
    setObjectName(QStringLiteral("NetdiskDeliverySheet"));
    setWindowTitle(QStringLiteral("领取网盘内容"));
    setFixedWidth(560);
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSizeConstraint(QLayout::SetFixedSize);
    setDelivery(delivery);
}

void NetdiskDeliverySheet::setDelivery(const NetdiskDelivery &delivery) {
    m_delivery = delivery;
    m_shown = shownDelivery(delivery);
    m_copiedItem.clear();
    if (m_body) {
        // Detached at once, deleted later: this may run inside one of its own signals.
        m_layout->removeWidget(m_body);
        m_body->hide();
        m_body->setParent(nullptr);
        m_body->deleteLater();
    }
    m_body = buildBody();
    m_layout->addWidget(m_body);
}

void NetdiskDeliverySheet::copy(const QString &text, const QString &label) {
    m_pasteboard->setString(text);
    m_copiedItem = label;
    m_confirmation->setText(label);
    m_confirmation->setVisible(!label.isEmpty());
}

void NetdiskDeliverySheet::openShareLink() { m_workspace->openURL(m_delivery.shareURL); }

QWidget *NetdiskDeliverySheet::buildBody() {
    auto *body = new QWidget(this);
    body->setFixedWidth(560);
    auto *column = new QVBoxLayout(body);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(18);

    // Header: title and product on the leading side, the close button at the trailing edge.
    auto *header = new QHBoxLayout;
    auto *titles = new QVBoxLayout;
    titles->setSpacing(5);
    titles->addWidget(makeLabel(QStringLiteral("领取网盘内容"), textFont(title2Size, true), QStringLiteral("title"), body));
    QTextBrowser *product = wrappingPlainText(m_shown.productName, textFont(bodySize), QStringLiteral("productName"), body);
    setTextColour(product, secondaryColour(body));
    titles->addWidget(product);
    header->addLayout(titles, 1);
    QPushButton *close = makeButton(QStringLiteral("关闭"), QStringLiteral("close"), body);
    connect(close, &QPushButton::clicked, this, [this] {
        if (m_dismiss) {
            m_dismiss();
        }
    });
    header->addWidget(close, 0, Qt::AlignTop);
    column->addLayout(header);

    // Whether the browser opened decides the notice; it never promises a new claim.
    QLabel *notice = wrappingLabel(
        m_shown.openedAutomatically
            ? QStringLiteral("已尝试为你打开百度网盘。若浏览器没有跳转，仍可直接点击下方完整链接或复制领取信息。")
            : QStringLiteral("未能自动打开浏览器。请直接点击下方完整链接，或复制领取信息后自行打开；不会再次发起领取。"),
        textFont(subheadlineSize), QStringLiteral("notice"), body);
    setTextColour(notice, m_shown.openedAutomatically ? secondaryColour(body) : orange);
    column->addWidget(notice);

    column->addWidget(buildLinkBox(body));
    if (!m_shown.accessCode.isEmpty()) {
        column->addWidget(buildCopyBox(QStringLiteral("百度网盘提取码"), m_shown.accessCode,
                                       monospacedFont(title3Size, true), QStringLiteral("一键复制"),
                                       QStringLiteral("已复制提取码"), QStringLiteral("code"), body));
    }
    if (!m_shown.archivePassword.isEmpty()) {
        column->addWidget(buildCopyBox(QStringLiteral("压缩包密码"), m_shown.archivePassword,
                                       monospacedFont(bodySize, true), QStringLiteral("复制"),
                                       QStringLiteral("已复制压缩包密码"), QStringLiteral("password"), body));
    }
    if (!m_shown.note.trimmed().isEmpty()) {
        QLabel *note = wrappingLabel(m_shown.note, textFont(subheadlineSize), QStringLiteral("note"), body);
        setTextColour(note, secondaryColour(body));
        column->addWidget(note);
    }

    auto *actions = new QHBoxLayout;
    actions->setSpacing(12);
    QPushButton *copyAll = makeButton(QStringLiteral("复制全部领取信息"), QStringLiteral("copyAll"), body);
    copyAll->setStyleSheet(QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 5px;"
                                          " padding: 5px 14px; }"
                                          "QPushButton:pressed { background: %2; }")
                               .arg(accent.name(), accent.darker(120).name()));
    connect(copyAll, &QPushButton::clicked, this,
            [this] { copy(m_shown.allClaimInformation(), QStringLiteral("已复制全部领取信息")); });
    actions->addWidget(copyAll);
    m_confirmation = makeLabel(m_copiedItem, textFont(captionSize), QStringLiteral("copiedItem"), body);
    setTextColour(m_confirmation, green);
    m_confirmation->setVisible(!m_copiedItem.isEmpty());
    actions->addWidget(m_confirmation);
    actions->addStretch(1);
    column->addLayout(actions);

    QLabel *footer = wrappingLabel(
        QStringLiteral("本窗口中的打开和复制操作只使用本次已返回的信息，不会再次请求领取接口或消耗领取次数。"),
        textFont(captionSize), QStringLiteral("footer"), body);
    setTextColour(footer, secondaryColour(body));
    column->addWidget(footer);
    return body;
}

QWidget *NetdiskDeliverySheet::buildLinkBox(QWidget *parent) {
    QGroupBox *box = makeGroupBox(QStringLiteral("完整百度网盘链接"), QStringLiteral("linkBox"), parent);
    auto *column = new QVBoxLayout(box);
    column->setContentsMargins(10, 4, 10, 4);
    column->setSpacing(10);

    // The whole link, selectable and clickable, wrapping anywhere: a share link has no blanks.
    QTextBrowser *full = wrappingText(monospacedFont(bodySize), QStringLiteral("fullLink"), box);
    full->setHtml(link(m_shown.shareURL, m_shown.shareURL.toString(QUrl::FullyEncoded)));
    connect(full, &QTextBrowser::anchorClicked, this, [this] { openShareLink(); });
    column->addWidget(full);

    auto *row = new QHBoxLayout;
    auto *open = new QLabel(link(m_shown.shareURL, QStringLiteral("直接打开百度网盘")), box);
    open->setObjectName(QStringLiteral("openLink"));
    open->setTextFormat(Qt::RichText);
    open->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(open, &QLabel::linkActivated, this, [this] { openShareLink(); });
    row->addWidget(open, 0, Qt::AlignVCenter);
    row->addStretch(1);
    QPushButton *copyLink = makeButton(QStringLiteral("复制链接"), QStringLiteral("copyLink"), box);
    connect(copyLink, &QPushButton::clicked, this,
            [this] { copy(m_shown.shareURL.toString(QUrl::FullyEncoded), QStringLiteral("已复制链接")); });
    row->addWidget(copyLink, 0, Qt::AlignVCenter);
    column->addLayout(row);
    return box;
}

QWidget *NetdiskDeliverySheet::buildCopyBox(const QString &title, const QString &value, const QFont &font,
                                            const QString &button, const QString &confirmation, const QString &name,
                                            QWidget *parent) {
    QGroupBox *box = makeGroupBox(title, name + QStringLiteral("Box"), parent);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(10, 4, 10, 4);
    row->addWidget(wrappingPlainText(value, font, name, box), 1, Qt::AlignVCenter);
    QPushButton *copyButton = makeButton(button, QStringLiteral("copy") + name.left(1).toUpper() + name.mid(1), box);
    connect(copyButton, &QPushButton::clicked, this, [this, value, confirmation] { copy(value, confirmation); });
    row->addWidget(copyButton, 0, Qt::AlignVCenter);
    return box;
}

} // namespace quillon
