#include "inventory/views/FCPInterfaceDiagram.h"

#include "inventory/views/FCPWindowSchematic.h"
#include "inventory/views/GuideStyle.h"
#include "inventory/views/GuideSymbols.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <cmath>

namespace quillon {

namespace {

/// The number of a step, black on a lime disc.
class StepNumber final : public QWidget {
public:
    StepNumber(int number, QWidget *parent) : QWidget(parent), m_number(number) { setFixedSize(23, 23); }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(guide::accent());
        p.drawEllipse(QRectF(0, 0, 23, 23));
        p.setFont(guide::systemFont(12, QFont::DemiBold));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, 0, 23, 23), Qt::AlignCenter, QString::number(m_number));
    }

private:
    int m_number;
};

QWidget *stepRow(int number, const QString &title, QWidget *parent) {
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(new StepNumber(number, row), 0, Qt::AlignVCenter);
    layout->addWidget(guide::label(title, 15, QFont::Medium, guide::white(0.85), row), 0, Qt::AlignVCenter);
    layout->addStretch(1);
    return row;
}

/// The card: a header line over the schematic, scaled to the card's width and cut at 295 points.
class SchematicCard final : public QWidget {
public:
    static constexpr int padding = 14;
    static constexpr int headerSpacing = 8;
    static constexpr int headerTextSize = 11;

    SchematicCard(const FCPInterfaceDiagram &diagram, QWidget *parent) : QWidget(parent), m_diagram(diagram) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFixedHeight(headerHeight() + int(FCPWindowSchematic::visibleHeight));
    }

    int headerHeight() const {
        const QFontMetricsF metrics(guide::systemFont(headerTextSize), this);
        const qreal line = std::max<qreal>(guide::symbolSide(headerTextSize), metrics.height());
        return 2 * padding + int(std::ceil(line));
    }

    QSize sizeHint() const override { return {int(FCPWindowSchematic::designWidth), height()}; }
    QSize minimumSizeHint() const override { return {0, height()}; }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds(rect());
        QPainterPath shape;
        shape.addRoundedRect(bounds, 12, 12);

        p.save();
        p.setClipPath(shape);
        p.fillRect(bounds, guide::white(0.025));
        paintHeader(p);
        const qreal w = bounds.width();
        p.translate(0, headerHeight());
        p.setClipRect(QRectF(0, 0, w, FCPWindowSchematic::visibleHeight), Qt::IntersectClip);
        const qreal s = w / FCPWindowSchematic::designWidth;
        p.scale(s, s);
        FCPWindowSchematic::paint(p, m_diagram.category(), m_diagram.folders(), FCPWindowSchematic::landscape());
        p.restore();

        // The outline lies inside the card so none of its width is cut off at the edge.
        QPainterPath outline;
        outline.addRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
        p.strokePath(outline, QPen(guide::white(0.1), 1));
    }

private:
    void paintHeader(QPainter &p) const {
        const QColor colour = guide::white(0.45);
        const int side = guide::symbolSide(headerTextSize);
        const qreal middle = headerHeight() / 2.0;
        guide::paintSymbol(p, guide::Symbol::viewfinder, QRectF(padding, middle - side / 2.0, side, side), colour);
        const QFont font = guide::systemFont(headerTextSize);
        const QFontMetricsF metrics(font, this);
        p.setFont(font);
        p.setPen(colour);
        p.drawText(QPointF(padding + side + headerSpacing, middle + (metrics.ascent() - metrics.descent()) / 2),
                   m_diagram.cardTitle());
    }

    const FCPInterfaceDiagram &m_diagram;
};

} // namespace

FCPInterfaceDiagram::FCPInterfaceDiagram(std::optional<FCPLocation> selected, QStringList folders, QWidget *parent)
    : QWidget(parent), m_selected(selected), m_folders(std::move(folders)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(22);

    auto *steps = new QWidget(this);
    auto *stepsLayout = new QVBoxLayout(steps);
    stepsLayout->setContentsMargins(0, 18, 0, 0);
    stepsLayout->setSpacing(15);
    stepsLayout->addWidget(stepRow(1, firstStepTitle(), steps));
    stepsLayout->addWidget(stepRow(2, secondStepTitle(), steps));
    layout->addWidget(steps);

    m_card = new SchematicCard(*this, this);
    layout->addWidget(m_card);

    auto *hint = new QWidget(this);
    auto *hintLayout = new QHBoxLayout(hint);
    hintLayout->setContentsMargins(0, 0, 0, 0);
    hintLayout->setSpacing(10);
    const QColor hintColour = guide::white(0.65);
    hintLayout->addWidget(new guide::SymbolView(guide::Symbol::folder, 18, hintColour, hint), 0, Qt::AlignVCenter);
    hintLayout->addWidget(guide::label(hintText(), 13, QFont::Normal, hintColour, hint), 0, Qt::AlignVCenter);
    hintLayout->addStretch(1);
    layout->addWidget(hint);

    layout->addStretch(1);
}

bool FCPInterfaceDiagram::topLeft() const {
    return category() == FCPLocation::titles || category() == FCPLocation::generators;
}

QString FCPInterfaceDiagram::firstStepTitle() const {
    if (topLeft()) {
        return QStringLiteral("点击左上角「字幕和发生器」图标");
    }
    return QStringLiteral("点击时间线上方右侧「") + rawValue(category()) + QStringLiteral("」图标");
}

QString FCPInterfaceDiagram::secondStepTitle() const {
    if (topLeft()) {
        return QStringLiteral("在左侧选择「") + rawValue(category()) + QStringLiteral("」");
    }
    return QStringLiteral("在浏览器中选择插件文件夹");
}

QString FCPInterfaceDiagram::cardTitle() const {
    return topLeft() ? QStringLiteral("FCP 左上角 · 局部放大") : QStringLiteral("FCP 右下方 · 局部放大");
}

QString FCPInterfaceDiagram::hintText() const {
    return topLeft() ? QStringLiteral("在 FCP 中选择示意图中的对应文件夹")
                     : QStringLiteral("选中文件夹后，即可预览和使用插件");
}

QRectF FCPInterfaceDiagram::schematicRect() const {
    const auto *card = static_cast<const SchematicCard *>(m_card);
    const QRect g = card->geometry();
    return {qreal(g.x()), qreal(g.y() + card->headerHeight()), qreal(g.width()), FCPWindowSchematic::visibleHeight};
}

qreal FCPInterfaceDiagram::schematicScale() const {
    return m_card->width() / FCPWindowSchematic::designWidth;
}

} // namespace quillon
