#pragma once
// The sheet shown after an install run or when the user asks where installed plug-ins
// are. The result page tells what was installed, what failed and what still waits for
// the macOS Installer; the location page shows, per Final Cut Pro browser category, the
// schematic of the window and the folders to look for. It never changes the summary.

#include "records/InstallLocations.h"

#include <QWidget>

#include <functional>
#include <optional>

class QVBoxLayout;

namespace quillon {

namespace guide {
class PillButton;
}

class InstallLocationGuide final : public QWidget {
    Q_OBJECT

public:
    using Action = std::function<void()>;

    static constexpr int locationPageWidth = 620;
    static constexpr int resultPageWidth = 520;
    static constexpr int padding = 28;
    static constexpr int diagramHeight = 500;

    /// Opens on the location page for a browse, on the result page after an install.
    InstallLocationGuide(InstallLocationSummary summary, std::optional<FCPLocation> initialCategory, Action close,
                         QWidget *parent = nullptr);

    const InstallLocationSummary &summary() const { return m_summary; }
    /// The tab the user picked (or the initial category).
    const std::optional<FCPLocation> &selected() const { return m_selected; }
    bool showsLocation() const { return m_showsLocation; }

    /// The category shown: the picked one, else the first with entries, else none.
    std::optional<FCPLocation> category() const;
    /// The entries of the shown category, in the summary's order.
    QList<InstallLocationEntry> rows() const;

    /// The header's title on the page shown.
    QString title() const;

    /// The tallest the guide may be (the screen's height); a page that would make it taller
    /// scrolls between the header and the footer, which stay in view. None: no limit.
    void fitHeight(std::optional<int> maximum);
    /// Shows another summary (the presenter's was republished); the page and the picked tab stay.
    void setSummary(InstallLocationSummary summary);
    /// Switches to the location page ("查看插件位置").
    void showLocation();
    /// Shows `category` (a tab pressed).
    void select(FCPLocation category);

    /// The footer button of the page shown.
    guide::PillButton *footerButton() const { return m_footer; }

private:
    void rebuild();
    QWidget *header(QWidget *parent);
    QWidget *resultPage(QWidget *parent);
    QWidget *locationPage(QWidget *parent);
    guide::PillButton *footer(QWidget *parent);
    void requestClose();

    InstallLocationSummary m_summary;
    Action m_close;
    std::optional<FCPLocation> m_selected;
    bool m_showsLocation = false;
    std::optional<int> m_heightLimit;

    QVBoxLayout *m_layout = nullptr;
    QWidget *m_content = nullptr;
    guide::PillButton *m_footer = nullptr;
};

} // namespace quillon
