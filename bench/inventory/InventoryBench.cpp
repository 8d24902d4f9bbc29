// The installed plug-ins under load: at 1x, 500 member products and 5,000 template
// folders; `--scales=1,10` (the default) runs every case at each multiple of that and
// prints, per case, the time at each size and how it grew. Targets: at 1x a rescan under
// 50 ms and the installed and update tests over all rows under 16 ms (one frame); at 10x
// a rescan under 150 ms and at most 11x its 1x time, the row tests under 16 ms. The
// "Direct" cases run the plain per-folder matcher for comparison; being quadratic, they
// run at 1x and 2x only.
//
//   ./build/bench/inventory/bench_inventory --benchmark_min_time=1 [--scales=1,10]

#include "inventory/InstallRecords.h"
#include "inventory/PluginInstallMatcher.h"
#include "inventory/TemplateNameIndex.h"
#include "inventory/TemplateScan.h"
#include "model/PluginManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <map>
#include <set>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace quillon;

namespace {

constexpr int baseProductCount = 500;
constexpr int baseFolderCount = 5000;

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
    int productCount;
    int folderCount;

    explicit World(int scale) : productCount(baseProductCount * scale), folderCount(baseFolderCount * scale) {
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

World &world(const benchmark::State &state) {
    static std::map<int64_t, std::unique_ptr<World>> worlds;
    std::unique_ptr<World> &w = worlds[state.range(0)];
    if (!w) {
        w = std::make_unique<World>(int(state.range(0)));
    }
    return *w;
}

// A rescan with nothing changed on disk: every category folder is listed again and found
// the same.
void BM_RefreshInstalledPlugins(benchmark::State &state) {
    World &w = world(state);
    for (auto _ : state) {
        w.model->refreshInstalledPlugins();
        benchmark::DoNotOptimize(w.model->installedPlugins().size());
    }
    state.counters["folders"] = double(w.model->allTemplatePlugins().size());
    state.counters["published"] = double(w.model->installedPlugins().size());
}

// A rescan after an install or an uninstall: one folder more or less among the titles, so
// that category is decoded, sorted and grouped anew and every name matched again (the
// folded names of the previous scan are lent).
void BM_RefreshAfterOneChange(benchmark::State &state) {
    World &w = world(state);
    const QString folder = templateRoots(w.paths).first() + QStringLiteral("/Titles.localized/Vrel Bench Toggle");
    bool present = false;
    for (auto _ : state) {
        state.PauseTiming();
        present = !present;
        if (present ? !QDir().mkpath(folder) : !QDir().rmdir(folder)) {
            state.SkipWithError("cannot change the titles folder");
            break;
        }
        state.ResumeTiming();
        w.model->refreshInstalledPlugins();
        benchmark::DoNotOptimize(w.model->installedPlugins().size());
    }
    if (present) {
        QDir().rmdir(folder);
    }
    w.model->refreshInstalledPlugins();
}

// The first scan of a run: everything listed, decoded, sorted, folded and matched.
void BM_RefreshInstalledPluginsCold(benchmark::State &state) {
    World &w = world(state);
    for (auto _ : state) {
        const TemplateNameIndex index(scanTemplateTrees(templateRoots(w.paths)), w.products);
        benchmark::DoNotOptimize(index.published().size());
    }
}

void BM_ScanTreesOnly(benchmark::State &state) {
    World &w = world(state);
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanTemplateTrees(templateRoots(w.paths)).size());
    }
}

// A cold index: every name folded, every member product matched.
void BM_IndexBuild(benchmark::State &state) {
    World &w = world(state);
    const QList<InstalledPlugin> all = w.model->allTemplatePlugins();
    for (auto _ : state) {
        TemplateNameIndex index(all, w.products);
        benchmark::DoNotOptimize(index.size());
    }
}

// Matching every member product against the folded names (the names folded already).
void BM_ProductFolderMatches(benchmark::State &state) {
    World &w = world(state);
    const QList<InstalledPlugin> all = w.model->allTemplatePlugins();
    const TemplateNameIndex folded(all);
    for (auto _ : state) {
        TemplateNameIndex index(all, w.products, &folded);
        benchmark::DoNotOptimize(index.productFolders().data());
    }
}

void BM_FoldNames(benchmark::State &state) {
    World &w = world(state);
    const QList<InstalledPlugin> all = w.model->allTemplatePlugins();
    for (auto _ : state) {
        for (const auto &p : all) {
            benchmark::DoNotOptimize(PluginInstallMatcher::normalized(p.name));
        }
    }
}

// One layout of the member library: both tests for every row.
void BM_ProductRowTests(benchmark::State &state) {
    World &w = world(state);
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

// The same with install records: every product has two recorded paths (the second half's
// no longer exist) and every fourth a receipt and a stored version.
void BM_ProductRowTestsWithRecords(benchmark::State &state) {
    World &w = world(state);
    const QList<InstalledPlugin> &all = w.model->allTemplatePlugins();
    for (int i = 0; i < w.productCount; ++i) {
        const QString key = w.products.at(i).productKey;
        const QString existing = all.at(i % all.size()).paths.first();
        const QString path = i < w.productCount / 2 ? existing : existing + QStringLiteral("-gone");
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

// Browsing the places of every published plug-in (a rescan, then one summary).
void BM_ViewAllLocations(benchmark::State &state) {
    World &w = world(state);
    for (auto _ : state) {
        w.model->viewInstalledLocations(std::nullopt);
        benchmark::DoNotOptimize(w.model->locationSummary().entries.size());
    }
    state.counters["entries"] = double(w.model->locationSummary().entries.size());
}

// The published filter as first written: every product against every folder, folding
// both names on each try.
void BM_DirectPublishedFilter(benchmark::State &state) {
    World &w = world(state);
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

// The installed test's fall-back as first written, for the rows without records.
void BM_DirectProductMatching(benchmark::State &state) {
    World &w = world(state);
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

// Every case, with the multiple of the 1x data it runs at.
struct Case {
    const char *name;
    void (*run)(benchmark::State &);
    bool quadratic = false;
};
const std::vector<Case> cases{
    {"BM_RefreshInstalledPlugins", BM_RefreshInstalledPlugins},
    {"BM_RefreshAfterOneChange", BM_RefreshAfterOneChange},
    {"BM_RefreshInstalledPluginsCold", BM_RefreshInstalledPluginsCold},
    {"BM_ScanTreesOnly", BM_ScanTreesOnly},
    {"BM_IndexBuild", BM_IndexBuild},
    {"BM_ProductFolderMatches", BM_ProductFolderMatches},
    {"BM_FoldNames", BM_FoldNames},
    {"BM_ProductRowTests", BM_ProductRowTests},
    {"BM_ProductRowTestsWithRecords", BM_ProductRowTestsWithRecords},
    {"BM_ViewAllLocations", BM_ViewAllLocations},
    {"BM_DirectPublishedFilter", BM_DirectPublishedFilter, true},
    {"BM_DirectProductMatching", BM_DirectProductMatching, true},
};

// Passes every run on to the console and keeps its time (the median when the runs are
// repeated) for the growth table.
class GrowthReporter final : public benchmark::ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type != Run::RT_Iteration && !median)) {
                continue;
            }
            const std::string key = run.run_name.function_name + "/" + run.run_name.args;
            if (median || !medians.count(key)) {
                times[run.run_name.function_name][std::stoll(run.run_name.args)] = run.GetAdjustedRealTime();
            }
            if (median) {
                medians.insert(key);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void printGrowth() const {
        std::printf("\n%-32s %12s %12s %8s %6s\n", "growth (ms)", "smallest", "largest", "growth", "data");
        for (const auto &[name, bySize] : times) {
            if (bySize.size() < 2) {
                continue;
            }
            const auto &[small, smallTime] = *bySize.begin();
            const auto &[large, largeTime] = *bySize.rbegin();
            std::printf("%-32s %9.3f@%-2lld %9.3f@%-2lld %7.1fx %5lldx\n", name.c_str(), smallTime, (long long)small,
                        largeTime, (long long)large, largeTime / smallTime, (long long)(large / small));
        }
    }

private:
    std::map<std::string, std::map<int64_t, double>> times;
    std::set<std::string> medians;
};

std::vector<int64_t> scalesFrom(int &argc, char **argv) {
    std::vector<int64_t> scales{1, 10};
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--scales=", 9) != 0) {
            continue;
        }
        scales.clear();
        for (const QString &part : QString::fromLocal8Bit(argv[i] + 9).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            scales.push_back(part.toLongLong());
        }
        for (int j = i; j + 1 < argc; ++j) {
            argv[j] = argv[j + 1];
        }
        --argc;
        break;
    }
    return scales;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const std::vector<int64_t> scales = scalesFrom(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    for (const Case &c : cases) {
        benchmark::internal::Benchmark *b = benchmark::RegisterBenchmark(c.name, c.run)->Unit(benchmark::kMillisecond);
        if (c.quadratic) {
            b->Iterations(1)->Arg(1)->Arg(2);
            continue;
        }
        for (int64_t scale : scales) {
            b->Arg(scale);
        }
    }
    GrowthReporter reporter(isatty(fileno(stdout)) ? GrowthReporter::OO_Defaults : GrowthReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printGrowth();
    benchmark::Shutdown();
    return 0;
}
