// The installed plug-ins under load: 500 member products and 5,000 template folders.
// Targets: refreshInstalledPlugins() under 50 ms; one pass of the installed and update
// tests over all 500 product rows under 16 ms (one frame). The "Direct" cases run the
// plain per-folder matcher for comparison.
//
//   ./build/bench/inventory/bench_inventory --benchmark_min_time=1

#include "core/PluginManager.h"
#include "install/InstallRecords.h"
#include "inventory/PluginInstallMatcher.h"
#include "inventory/TemplateNameIndex.h"
#include "inventory/TemplateScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>
#include <stdexcept>

using namespace quillon;

namespace {

constexpr int productCount = 500;
constexpr int folderCount = 5000;

const QStringList firstWords{"Cinematic", "电影", "Glow", "光效", "Retro", "复古", "Neon", "霓虹", "Film", "胶片",
                             "Smooth", "丝滑", "Social", "综艺", "Minimal", "简约", "Paper", "纸张", "Glitch", "故障"};
const QStringList secondWords{"Titles", "字幕", "Transitions", "转场", "Lower Thirds", "标题条", "Light Leaks", "漏光",
                              "Backgrounds", "背景", "Overlays", "叠加", "Callouts", "标注", "Frames", "边框",
                              "Shapes", "图形", "Particles", "粒子", "Text", "文字", "Wipes", "擦除", "Zoom"};

QString productName(int i) {
    return firstWords.at(i % firstWords.size()) + QLatin1Char(' ') + secondWords.at((i / 20) % secondWords.size()) +
           QStringLiteral(" ") + QString::number(i);
}

// A world of template trees: a third brand folders, a third folders of member products
// under their own names, a third folders of other makers; the second half of the products
// has no folder at all, so their tests fall through to matching every folder.
struct World {
    QTemporaryDir root;
    SystemPaths paths;
    std::unique_ptr<PluginManager> model;
    QList<MemberProduct> products;

    World() {
        if (!root.isValid()) {
            throw std::runtime_error("no temporary folder");
        }
        paths.systemRoot = root.filePath(QStringLiteral("system"));
        paths.home = root.filePath(QStringLiteral("home"));
        paths.applicationSupport = root.filePath(QStringLiteral("home/Library/Application Support"));
        paths.downloads = root.filePath(QStringLiteral("home/Downloads"));
        paths.temporary = root.filePath(QStringLiteral("tmp"));
        const QStringList roots = templateRoots(paths);
        for (int j = 0; j < folderCount; ++j) {
            const TemplateCategory &category = templateCategories().at(j % 4);
            const QString tree = roots.at((j / 4) % 2);
            const int owner = j % (productCount / 2);
            QString name;
            switch (j % 3) {
            case 0:
                name = QStringLiteral("Vrel ") + productName(owner) + QStringLiteral(" ") + QString::number(j);
                break;
            case 1:
                name = productName(owner) + QStringLiteral(" Pack ") + QString::number(j) + QStringLiteral(".localized");
                break;
            default:
                name = QStringLiteral("Other Maker Bundle ") + QString::number(j);
                break;
            }
            if (!QDir().mkpath(tree + QLatin1Char('/') + category.folder + QLatin1Char('/') + name)) {
                throw std::runtime_error("cannot create folder");
            }
        }
        for (int i = 0; i < productCount; ++i) {
            MemberProduct p;
            p.productKey = QStringLiteral("product-") + QString::number(i);
            p.productName = productName(i);
            p.packageVersion = QStringLiteral("1.2.") + QString::number(i % 7);
            products.append(p);
        }

        ModelEnvironment env;
        env.preferences = Preferences::inFile(root.filePath(QStringLiteral("preferences.json")));
        env.paths = paths;
        env.workspace = nullptr;
        env.apiBase = QUrl(QStringLiteral("http://127.0.0.1:9/"));
        env.updateManifestURL = QUrl(QStringLiteral("http://127.0.0.1:9/update.json"));
        model = std::make_unique<PluginManager>(env);
        model->setMemberProducts(products);
        model->refreshInstalledPlugins();
    }
};

World &world() {
    static World w;
    return w;
}

void BM_RefreshInstalledPlugins(benchmark::State &state) {
    World &w = world();
    for (auto _ : state) {
        w.model->refreshInstalledPlugins();
        benchmark::DoNotOptimize(w.model->installedPlugins().size());
    }
    state.counters["folders"] = double(w.model->allTemplatePlugins().size());
    state.counters["published"] = double(w.model->installedPlugins().size());
}
BENCHMARK(BM_RefreshInstalledPlugins)->Unit(benchmark::kMillisecond);

// The same without the folded names of the previous scan (the first scan of a run).
void BM_RefreshInstalledPluginsCold(benchmark::State &state) {
    World &w = world();
    for (auto _ : state) {
        state.PauseTiming();
        w.model->setAllTemplatePlugins({});
        benchmark::DoNotOptimize(w.model->installedPluginPaths(QStringLiteral("none")));
        state.ResumeTiming();
        w.model->refreshInstalledPlugins();
        benchmark::DoNotOptimize(w.model->installedPlugins().size());
    }
}
BENCHMARK(BM_RefreshInstalledPluginsCold)->Unit(benchmark::kMillisecond);

void BM_ScanTreesOnly(benchmark::State &state) {
    World &w = world();
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanTemplateTrees(templateRoots(w.paths)).size());
    }
}
BENCHMARK(BM_ScanTreesOnly)->Unit(benchmark::kMillisecond);

void BM_IndexBuild(benchmark::State &state) {
    World &w = world();
    const QList<InstalledPlugin> all = w.model->allTemplatePlugins();
    for (auto _ : state) {
        TemplateNameIndex index(all);
        benchmark::DoNotOptimize(index.size());
    }
}
BENCHMARK(BM_IndexBuild)->Unit(benchmark::kMillisecond);

void BM_ProductFolderMarks(benchmark::State &state) {
    World &w = world();
    const TemplateNameIndex index(w.model->allTemplatePlugins());
    for (auto _ : state) {
        std::vector<char> marks;
        for (const MemberProduct &p : w.products) {
            index.markMatches(PluginInstallMatcher::matchableAliases(p.productName, PluginInstallMatcher::aliasTable()),
                              marks);
        }
        benchmark::DoNotOptimize(marks.data());
    }
}
BENCHMARK(BM_ProductFolderMarks)->Unit(benchmark::kMillisecond);

void BM_FoldNames(benchmark::State &state) {
    World &w = world();
    const QList<InstalledPlugin> all = w.model->allTemplatePlugins();
    for (auto _ : state) {
        for (const auto &p : all) {
            benchmark::DoNotOptimize(PluginInstallMatcher::normalized(p.name));
        }
    }
}
BENCHMARK(BM_FoldNames)->Unit(benchmark::kMillisecond);

// One layout of the member library: both tests for every row.
void BM_ProductRowTests(benchmark::State &state) {
    World &w = world();
    int installed = 0;
    for (auto _ : state) {
        installed = 0;
        for (const MemberProduct &p : w.products) {
            installed += w.model->isProductInstalled(p) ? 1 : 0;
            benchmark::DoNotOptimize(w.model->isProductUpdateAvailable(p));
        }
    }
    state.counters["installed"] = installed;
}
BENCHMARK(BM_ProductRowTests)->Unit(benchmark::kMillisecond);

// The same with install records: every product has two recorded paths (the second half's
// no longer exist) and every fourth a receipt and a stored version.
void BM_ProductRowTestsWithRecords(benchmark::State &state) {
    World &w = world();
    const QList<InstalledPlugin> &all = w.model->allTemplatePlugins();
    for (int i = 0; i < productCount; ++i) {
        const QString key = w.products.at(i).productKey;
        const QString existing = all.at(i % all.size()).paths.first();
        const QString path = i < productCount / 2 ? existing : existing + QStringLiteral("-gone");
        w.model->saveInstalledProductPaths({path + QStringLiteral("-gone-too"), path}, key);
        if (i % 4 == 0) {
            w.model->defaults().setValue(installedPathsDefaultsKey(InstallRecord::installReceipt, key), true);
            w.model->defaults().setValue(installedPathsDefaultsKey(InstallRecord::packageVersion, key),
                                         QStringLiteral("1.2.3"));
        }
    }
    int installed = 0;
    for (auto _ : state) {
        installed = 0;
        for (const MemberProduct &p : w.products) {
            installed += w.model->isProductInstalled(p) ? 1 : 0;
            benchmark::DoNotOptimize(w.model->isProductUpdateAvailable(p));
        }
    }
    state.counters["installed"] = installed;
    for (const MemberProduct &p : w.products) {
        for (InstallRecord record : {InstallRecord::productPaths, InstallRecord::installReceipt, InstallRecord::packageVersion}) {
            w.model->defaults().remove(installedPathsDefaultsKey(record, p.productKey));
        }
    }
}
BENCHMARK(BM_ProductRowTestsWithRecords)->Unit(benchmark::kMillisecond);

// Browsing the places of every published plug-in (a rescan, then one summary).
void BM_ViewAllLocations(benchmark::State &state) {
    World &w = world();
    for (auto _ : state) {
        w.model->viewInstalledLocations(std::nullopt);
        benchmark::DoNotOptimize(w.model->locationSummary().entries.size());
    }
    state.counters["entries"] = double(w.model->locationSummary().entries.size());
}
BENCHMARK(BM_ViewAllLocations)->Unit(benchmark::kMillisecond);

// The published filter as first written: every product against every folder, folding
// both names on each try.
void BM_DirectPublishedFilter(benchmark::State &state) {
    World &w = world();
    const QList<InstalledPlugin> all = w.model->allTemplatePlugins();
    for (auto _ : state) {
        int published = 0;
        for (const InstalledPlugin &plugin : all) {
            bool keep = plugin.name.contains(QStringLiteral("Vrel"), Qt::CaseInsensitive);
            for (qsizetype i = 0; !keep && i < w.products.size(); ++i) {
                keep = PluginInstallMatcher::matches(w.products.at(i).productName, plugin.name);
            }
            published += keep ? 1 : 0;
        }
        benchmark::DoNotOptimize(published);
    }
}
BENCHMARK(BM_DirectPublishedFilter)->Unit(benchmark::kMillisecond)->Iterations(1);

// The installed test's fall-back as first written, for the rows without records.
void BM_DirectProductMatching(benchmark::State &state) {
    World &w = world();
    const QList<InstalledPlugin> all = w.model->allTemplatePlugins();
    for (auto _ : state) {
        int installed = 0;
        for (const MemberProduct &p : w.products) {
            for (const InstalledPlugin &plugin : all) {
                if (PluginInstallMatcher::matches(p.productName, plugin.name)) {
                    ++installed;
                    break;
                }
            }
        }
        benchmark::DoNotOptimize(installed);
    }
}
BENCHMARK(BM_DirectProductMatching)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
