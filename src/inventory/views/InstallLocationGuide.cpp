#include "inventory/views/InstallLocationGuide.h"

#include "inventory/views/FCPInterfaceDiagram.h"
#include "inventory/views/GuideButtons.h"
#include "inventory/views/GuideStyle.h"
#include "inventory/views/GuideSymbols.h"
#include "platform/DisplayText.h"

#include <QApplication>
#include <QFrame>
#include <QLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon {

namespace {

using guide::white;

/// A transparent, frameless vertical scroll area of a fixed height around `content`.
QScrollArea *scrollArea(QWidget *content, int height, QWidget *parent) {
    auto *area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    area->setWidgetResizable(true);
    area->setWidget(content);
    area->setAutoFillBackground(false);
    area->viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);
    area->setFixedHeight(height);
    // A slim indicator in the guide's colours rather than the style's arrowed bar.
    area->verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar:vertical { background: transparent; width: 8px; margin: 0; }"
        "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 90); border-radius: 3px;"
        " min-height: 20px; margin: 1px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
    return area;
}

/// A leading-aligned column of lines with `spacing` between them, for a scroll area.
QWidget *column(int spacing, QVBoxLayout **layout) {
    auto *content = new QWidget;
    *layout = new QVBoxLayout(content);
    (*layout)->setContentsMargins(0, 0, 0, 0);
    (*layout)->setSpacing(spacing);
    return content;
}

/// A one-point rule in white 12%.
class Divider final : public QWidget {
public:
    explicit Divider(QWidget *parent) : QWidget(parent) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), white(0.12)); }
};

/// The height `layout` wants at `width`, wrapped lines included.
int naturalHeight(const QLayout *layout, int width) {
    return layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : layout->totalSizeHint().height();
}

/// The height of a list box: `perLine` points a line, or more where the font's lines (or
/// wrapped text) need it, and never more than `cap`, beyond which the box scrolls.
int listHeight(const QLayout *lines, int count, int perLine, int cap) {
    const int natural = naturalHeight(lines, InstallLocationGuide::resultPageWidth - 2 * InstallLocationGuide::padding);
    return std::min(std::max(perLine * count, natural), cap);
}

/// A line of the guide: product names, folder paths and failure texts (the installer's
/// output among them) shown without control or direction characters.
QLabel *line(const QString &text, int pixels, const QColor &colour, bool selectable, QWidget *parent) {
    QLabel *label = guide::label(displayNote(text), pixels, QFont::Normal, colour, parent);
    label->setWordWrap(true);
    if (selectable) {
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    return label;
}

} // namespace

InstallLocationGuide::InstallLocationGuide(InstallLocationSummary summary, std::optional<FCPLocation> initialCategory,
                                           Action close, QWidget *parent)
    : QWidget(parent), m_summary(std::move(summary)), m_close(std::move(close)), m_selected(initialCategory),
      m_showsLocation(m_summary.isBrowsing) {
    // Always the dark scheme, on the guide's own surface.
    QPalette dark = palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button}) {
        dark.setColor(role, guide::surface());
    }
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        dark.setColor(role, Qt::white);
    }
    dark.setColor(QPalette::AlternateBase, guide::grey(0.16));
    dark.setColor(QPalette::Highlight, guide::accent());
    dark.setColor(QPalette::HighlightedText, Qt::black);
    setPalette(dark);
    setAutoFillBackground(true);

    // The guide itself holds the focus when the sheet opens: no button is pressed by a stray
    // Space or Enter, and Tab leads to the first one.
    setFocusPolicy(Qt::ClickFocus);
    setFocus();

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(padding, padding, padding, padding);
    m_layout->setSpacing(0);

    // The footer button answers the cancel key (Escape) on every page.
    auto *cancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancel->setContext(Qt::WindowShortcut);
    connect(cancel, &QShortcut::activated, this, [this] {
        if (m_footer != nullptr) {
            m_footer->click();
        }
    });

    rebuild();
}

std::optional<FCPLocation> InstallLocationGuide::category() const {
    if (m_selected) {
        return m_selected;
    }
    const QList<FCPLocation> categories = m_summary.categories();
    if (categories.isEmpty()) {
        return std::nullopt;
    }
    return categories.first();
}

QList<InstallLocationEntry> InstallLocationGuide::rows() const {
    QList<InstallLocationEntry> result;
    const std::optional<FCPLocation> shown = category();
    if (!shown) {
        return result;
    }
    std::copy_if(m_summary.entries.begin(), m_summary.entries.end(), std::back_inserter(result),
                 [&](const InstallLocationEntry &entry) { return entry.category == *shown; });
    return result;
}

QString InstallLocationGuide::title() const {
    return m_showsLocation ? QStringLiteral("插件位置") : m_summary.resultTitle();
}

void InstallLocationGuide::fitHeight(std::optional<int> maximum) {
    if (maximum != m_heightLimit) {
        m_heightLimit = maximum;
        rebuild();
    }
}

void InstallLocationGuide::setSummary(InstallLocationSummary summary) {
    if (summary != m_summary) {
        m_summary = std::move(summary);
        rebuild();
    }
}

void InstallLocationGuide::showLocation() {
    if (!m_showsLocation) {
        m_showsLocation = true;
        rebuild();
    }
}

void InstallLocationGuide::select(FCPLocation category) {
    if (m_selected != category) {
        m_selected = category;
        rebuild();
    }
}

void InstallLocationGuide::requestClose() {
    if (m_close) {
        m_close();
    }
}

void InstallLocationGuide::rebuild() {
    // The keyboard's place: a button with the focus is rebuilt with the page, and its new self
    // (or, where it is gone, the page's first button) takes the focus on.
    std::optional<QString> focused;
    if (m_content != nullptr) {
        if (QWidget *focus = QApplication::focusWidget(); focus != nullptr && m_content->isAncestorOf(focus)) {
            const auto *button = qobject_cast<QAbstractButton *>(focus);
            focused = button ? button->objectName() + QLatin1Char('\n') + button->text() : QString();
        }
    }
    // A button of the old content may be the one being clicked: let it finish first.
    if (m_content != nullptr) {
        m_content->hide();
        m_layout->removeWidget(m_content);
        m_content->deleteLater();
    }
    m_content = new QWidget(this);
    auto *stack = new QVBoxLayout(m_content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(22);
    stack->addWidget(header(m_content));
    QWidget *page = m_showsLocation ? locationPage(m_content) : resultPage(m_content);
    stack->addWidget(page);
    m_footer = footer(m_content);
    stack->addWidget(m_footer);
    m_layout->addWidget(m_content);
    // A child added to a visible widget stays hidden, and out of the layout, until shown.
    m_content->show();

    const int width = m_showsLocation ? locationPageWidth : resultPageWidth;
    setFixedWidth(width);
    m_layout->activate();
    int height = naturalHeight(m_layout, width);
    if (m_heightLimit && height > *m_heightLimit) {
        // Too tall for the screen: the page scrolls, so the footer button stays on screen.
        constexpr int smallestPage = 120;
        QScrollArea *scroller = scrollArea(page, smallestPage, m_content); // takes the page out of the stack
        scroller->setObjectName(QStringLiteral("page"));
        stack->insertWidget(1, scroller);
        scroller->show();
        const int rest = naturalHeight(stack, width - 2 * padding) + 2 * padding - smallestPage;
        scroller->setFixedHeight(std::max(*m_heightLimit - rest, smallestPage));
        height = naturalHeight(stack, width - 2 * padding) + 2 * padding;
    }
    setFixedHeight(height);
    setWindowTitle(title());

    if (focused) {
        QAbstractButton *next = nullptr;
        for (QAbstractButton *button : m_content->findChildren<QAbstractButton *>()) {
            if (button->objectName() + QLatin1Char('\n') + button->text() == *focused) {
                next = button;
            }
        }
        if (next == nullptr) {
            const QList<QAbstractButton *> tabs = m_content->findChildren<QAbstractButton *>(QStringLiteral("tab"));
            next = tabs.isEmpty() ? m_footer : tabs.first();
        }
        next->setFocus(Qt::TabFocusReason);
    }
}

QWidget *InstallLocationGuide::header(QWidget *parent) {
    auto *row = new QWidget(parent);
    row->setObjectName(QStringLiteral("header"));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    if (!m_showsLocation) {
        guide::Symbol symbol = guide::Symbol::exclamationmarkCircle;
        QColor colour = m_summary.failures.isEmpty() ? guide::gray() : guide::red();
        if (!m_summary.succeeded.isEmpty()) {
            symbol = guide::Symbol::checkmarkCircleFill;
            colour = guide::accent();
        }
        auto *status = new guide::SymbolView(symbol, 34, colour, row);
        status->setObjectName(QStringLiteral("status"));
        layout->addWidget(status, 0, Qt::AlignTop);
    }

    QLabel *heading = guide::label(title(), 25, QFont::DemiBold, Qt::white, row);
    heading->setObjectName(QStringLiteral("title"));
    layout->addWidget(heading, 0, Qt::AlignTop);
    layout->addStretch(1);

    auto *closeButton = new guide::SymbolButton(guide::Symbol::xmark, 16, 5, Qt::white, QStringLiteral("关闭"), row);
    closeButton->setObjectName(QStringLiteral("close"));
    connect(closeButton, &QAbstractButton::clicked, this, [this] { requestClose(); });
    layout->addWidget(closeButton, 0, Qt::AlignTop);
    return row;
}

QWidget *InstallLocationGuide::resultPage(QWidget *parent) {
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);

    if (!m_summary.succeeded.isEmpty()) {
        QVBoxLayout *names = nullptr;
        QWidget *content = column(7, &names);
        for (const QString &name : m_summary.succeeded) {
            names->addWidget(line(name, 14, white(0.65), false, content));
        }
        names->addStretch(1);
        QScrollArea *list = scrollArea(content, listHeight(names, int(m_summary.succeeded.size()), 23, 90), page);
        list->setObjectName(QStringLiteral("succeeded"));
        layout->addWidget(list);

        auto *restart = new QWidget(page);
        auto *restartLayout = new QVBoxLayout(restart);
        restartLayout->setContentsMargins(0, 0, 0, 0);
        restartLayout->setSpacing(8);
        restartLayout->addWidget(guide::label(QStringLiteral("请重启 FCP"), 23, QFont::DemiBold, Qt::white, restart));
        restartLayout->addWidget(line(QStringLiteral("完全退出 Final Cut Pro 后重新打开，加载新插件。"), 13,
                                      white(0.65), false, restart));
        restart->setObjectName(QStringLiteral("restart"));
        layout->addWidget(restart);
    }

    const int problems = int(m_summary.failures.size() + m_summary.pending.size());
    if (problems > 0) {
        QVBoxLayout *lines = nullptr;
        QWidget *content = column(14, &lines);
        for (const QString &failure : m_summary.failures) {
            lines->addWidget(line(failure, 14, Qt::white, true, content));
        }
        for (const QString &name : m_summary.pending) {
            lines->addWidget(line(name + QStringLiteral("：已打开 macOS 安装器，请在系统窗口完成安装。"), 14,
                                  white(0.75), false, content));
        }
        lines->addStretch(1);
        QScrollArea *list = scrollArea(content, listHeight(lines, problems, 72, 220), page);
        list->setObjectName(QStringLiteral("problems"));
        layout->addWidget(list);
    }

    if (!m_summary.entries.isEmpty()) {
        layout->addWidget(new Divider(page));

        auto *locations = new guide::LinkRowButton(guide::Symbol::map, QStringLiteral("查看插件位置"), 14, 4,
                                                   white(0.75), page);
        locations->setObjectName(QStringLiteral("showLocations"));
        connect(locations, &QAbstractButton::clicked, this, [this] { showLocation(); });
        layout->addWidget(locations);
    }
    return page;
}

QWidget *InstallLocationGuide::locationPage(QWidget *parent) {
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    const std::optional<FCPLocation> shown = category();

    const QList<FCPLocation> categories = m_summary.categories();
    if (categories.size() >= 2) {
        auto *tabs = new QWidget(page);
        tabs->setObjectName(QStringLiteral("tabs"));
        auto *tabsLayout = new QHBoxLayout(tabs);
        tabsLayout->setContentsMargins(0, 0, 0, 0);
        tabsLayout->setSpacing(8);
        for (FCPLocation each : categories) {
            const bool current = shown == each;
            guide::PillButton::Look look{guide::systemFont(13, QFont::Medium), 14, 8, 8,
                                         current ? guide::accent() : white(0.07),
                                         current ? QColor(Qt::black) : white(0.7), false};
            auto *tab = new guide::PillButton(rawValue(each), look, tabs);
            tab->setObjectName(QStringLiteral("tab"));
            connect(tab, &QAbstractButton::clicked, this, [this, each] { select(each); });
            tabsLayout->addWidget(tab, 0, Qt::AlignVCenter);
        }
        tabsLayout->addStretch(1);
        layout->addWidget(tabs);
    }

    if (shown) {
        const QList<InstallLocationEntry> entries = rows();
        QStringList folders;
        for (const InstallLocationEntry &entry : entries) {
            folders.append(displayLine(entry.folder)); // the diagram draws them too
        }
        auto *diagram = new FCPInterfaceDiagram(shown, folders, page);
        diagram->setFixedHeight(diagramHeight);
        layout->addWidget(diagram);

        if (entries.size() >= 2) {
            QVBoxLayout *lines = nullptr;
            QWidget *content = column(6, &lines);
            for (const QString &folder : folders) {
                lines->addWidget(line(folder, 12, Qt::white, true, content));
            }
            lines->addStretch(1);
            const int natural = naturalHeight(lines, locationPageWidth - 2 * padding);
            QScrollArea *list = scrollArea(content, std::min(natural, 72), page);
            list->setObjectName(QStringLiteral("folders"));
            layout->addWidget(list);
        }
    } else {
        auto *padded = new QWidget(page);
        auto *paddedLayout = new QVBoxLayout(padded);
        paddedLayout->setContentsMargins(0, 30, 0, 30);
        QLabel *empty = line(QStringLiteral("暂未找到插件位置，请在已安装插件中刷新后查看。"), 13, white(0.65), false, padded);
        empty->setObjectName(QStringLiteral("empty"));
        paddedLayout->addWidget(empty);
        layout->addWidget(padded);
    }
    return page;
}

guide::PillButton *InstallLocationGuide::footer(QWidget *parent) {
    QString text = QStringLiteral("知道了");
    QColor fill = guide::accent();
    QColor textColour = Qt::black;
    if (!m_showsLocation && m_summary.succeeded.isEmpty()) {
        fill = white(0.15);
        textColour = Qt::white;
        if (!m_summary.failures.isEmpty()) {
            text = QStringLiteral("返回修改");
        }
    }
    guide::PillButton::Look look{guide::systemFont(16, QFont::DemiBold), 0, 13, 9, fill, textColour, true};
    auto *button = new guide::PillButton(text, look, parent);
    button->setObjectName(QStringLiteral("footer"));
    connect(button, &QAbstractButton::clicked, this, [this] { requestClose(); });
    return button;
}

} // namespace quillon
